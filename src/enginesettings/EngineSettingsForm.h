#pragma once

#include "dialogs/SkinnedDialog.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class KeyKeeper;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QGridLayout;
class TranslateCheck;
struct EngineSettings;
enum class KeyPlace;

// The dialog "翻译引擎": the engines in the order tried, each switched on or
// off and tested on its own; the addresses, model and keys of the engines
// the user sets up. Keys go to the desktop's secret service where one runs,
// else into the settings file, and the dialog says which; a stored key shows
// only masked unless the user asks to see it. Nothing it does waits on the
// network or the secret service.
class TEngineSettingsForm : public TSkinnedDialog {
    Q_OBJECT
public:
    explicit TEngineSettingsForm(QWidget* parent = nullptr);
    ~TEngineSettingsForm() override;

    static constexpr int DesignWidth = 560;
    static constexpr int DesignHeight = 384;

    // One engine's row.
    struct EngineRow {
        QString name;
        QCheckBox* Enabled = nullptr; // its title; checked: in the chain
        QLabel* Outcome = nullptr;    // the latest test's outcome and time
        QPushButton* Up = nullptr;
        QPushButton* Down = nullptr;
        QPushButton* Test = nullptr; // 测试
    };
    // In the order shown, which is the order tried.
    QList<EngineRow> Rows;

    QLineEdit* LibreUrl = nullptr;
    QLineEdit* LibreKey = nullptr;
    QPushButton* ShowLibreKey = nullptr; // 显示 / 隐藏
    QLineEdit* LlmUrl = nullptr;
    QLineEdit* LlmModel = nullptr;
    QLineEdit* LlmKey = nullptr;
    QPushButton* ShowLlmKey = nullptr;
    QLabel* KeyPlaceLabel = nullptr;    // where the keys are kept
    QLabel* Note = nullptr;             // variables that take precedence, when set
    QPushButton* SaveButton = nullptr;  // 保  存
    QPushButton* CloseButton = nullptr; // 关  闭

    // After a save has kept the settings and the keys.
    std::function<void()> OnSaved;

    // The names in the order shown, and those switched on.
    QStringList Order() const;
    QStringList EnabledNames() const;
    // True while the keys of the last save are on their way.
    bool Saving() const { return saving_; }

    void MoveClick(int row, int step);
    void TestClick(int row);
    void SaveClick(QObject* Sender);

    void FormShow(QObject* Sender) override;
    // Nothing goes through the dialog's own transfer: each test has a
    // translation service of its own.
    void auHTTP1Done(QObject*, const QString&, int, QIODevice*) override {}
    void auHTTP1HTTPError(QObject*, int, QIODevice*) override {}
    void auHTTP1ConnLost(QObject*, const QString&, int, int, QIODevice*) override {}
    void auHTTP1HostUnreachable(QObject*) override {}
    void auHTTP1WaitTimeoutExpired(QObject*) override {}

public slots:
    // Waits for a save on its way before closing: its keys would be lost.
    void reject() override;

private:
    void BuildRows();
    void LayOutRows();
    void LoadSettings();
    void ShowKeyPlace(KeyPlace place, bool saved);
    EngineSettings SettingsOf(const QString& name) const;
    bool Validate();
    void Saved();

    QGridLayout* rowGrid_ = nullptr;
    KeyKeeper* keys_ = nullptr;
    QHash<QString, TranslateCheck*> checks_; // by engine name, made at its first test
    bool libreKeyEdited_ = false;
    bool llmKeyEdited_ = false;
    bool saving_ = false;
    bool closeWhenSaved_ = false;
};
