#pragma once

#include "history/HistoryEntry.h"

#include <QString>
#include <QWidget>
#include <functional>

class AnkiConnectClient;
class HistoryListModel;
class HistoryWorker;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QTableView;
class QTimer;
class TbsBusinessSkinForm;
class TbsSkinMessage;
struct AnkiConnectResult;

// The history window "翻译历史": the translation history newest first, a
// search that filters as the user types, the word book (starred entries),
// and the ways out: back into the main window, an Anki import file, a
// running Anki. Frameless with the program's skinned caption bar, resizable.
class THistoryForm : public QWidget {
    Q_OBJECT
public:
    // path: the history file (nothing is made there by looking).
    explicit THistoryForm(const QString& path, QWidget* parent = nullptr);
    ~THistoryForm() override;

    static constexpr int DesignWidth = 760;
    static constexpr int DesignHeight = 470;
    // Typing restarts this wait; the search runs when it ends.
    static constexpr int SearchPauseMs = 250;

    TbsBusinessSkinForm* bsBusinessSkinForm1 = nullptr;
    QLineEdit* SearchEdit = nullptr;
    QCheckBox* WordBookBox = nullptr; // 生词本: only starred entries
    QLabel* CountLabel = nullptr;
    QTableView* EntryList = nullptr;
    QPushButton* DeleteButton = nullptr; // 删除
    QPushButton* ClearButton = nullptr;  // 清空历史
    QPushButton* ExportButton = nullptr; // 导出到 Anki (opens ExportMenu)
    QPushButton* AnkiButton = nullptr;   // 添加到 Anki
    QPushButton* CloseButton = nullptr;  // 关闭
    QMenu* ExportMenu = nullptr;
    QAction* ExportAll = nullptr;      // 全部历史
    QAction* ExportFound = nullptr;    // 当前列表 (the search's result)
    QAction* ExportWordBook = nullptr; // 生词本

    // Where messages go; the window's own box unless the owner sets its own.
    TbsSkinMessage* Messages = nullptr;
    // A double click (or Enter) on an entry.
    std::function<void(const HistoryEntry& entry)> OnUse;
    // Asks where to write an export: the path, or empty to cancel. A file
    // dialog unless replaced (tests).
    std::function<QString(const QString& suggested)> ChooseExportFile;

    HistoryListModel* Entries() const { return model_; }
    const AnkiConnectClient* Anki() const { return anki_; }
    // Typed text is waiting for the pause that starts its search.
    bool SearchPending() const;
    // The rows chosen in the list, top to bottom.
    QList<int> ChosenRows() const;

    // Lists the query again from the top once `written` has returned; it runs
    // off the window's thread (e.g. waiting for a recorder to write).
    void ReloadAfter(std::function<void()> written);

    void SearchEditChange();
    void Search();
    void EntryListClick(const QModelIndex& index);
    void EntryListDoubleClick(const QModelIndex& index);
    void DeleteButtonClick();
    void ClearButtonClick();
    void ExportClick(QAction* scope);
    void AnkiButtonClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void ShowCount();
    void AnkiFinished(const AnkiConnectResult& result);
    int Message(const QString& text, int kind, int buttons);

    HistoryWorker* worker_ = nullptr;
    HistoryListModel* model_ = nullptr;
    AnkiConnectClient* anki_ = nullptr; // made at the first use
    QList<HistoryEntry> sentToAnki_;
    QTimer* searchPause_ = nullptr;
};
