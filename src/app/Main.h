#pragma once

#include "app/WindowSettings.h"
#include "toolkit/BusinessSkinForm.h"
#include "toolkit/ClickLabel.h"
#include "toolkit/SkinComboBox.h"
#include "toolkit/SkinData.h"
#include "toolkit/SkinMessage.h"
#include "toolkit/SpeakerImage.h"
#include "toolkit/TrayIcon.h"
#include "toolkit/UnicodeMemo.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class TFileStorage;
class TMp3Player;
class TranslateService;
class OcrService;
class SpeechService;
class GlobalShortcuts;
class KeyKeeper;
class HistoryRecorder;
class THistoryForm;
struct HistoryEntry;
struct TranslateResult;
struct OcrResult;
struct SpeechResult;
enum class OcrEngine;
enum class InstanceRequest;

// The main window. Every control and component is a public member so the
// feature files (MainTranslate, MainOcr, MainSpeech, MainCommands, MainCursors,
// MainDesktop) and the tests reach them by name. The features are services
// below the window, which it keeps to itself: it starts them and shows what
// they report; tests look at them through the read-only views.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Design size of the client area (below the caption bar) and the smallest
    // whole window.
    static constexpr int ClientWidth = 797;
    static constexpr int ClientHeight = 454;
    static constexpr int MinTrackWidth = 797;
    static constexpr int MinTrackHeight = 454;
    // How long the pointer rests on a control before its hint shows.
    static constexpr int HintPauseMs = 8000;

    // --- controls -------------------------------------------------------
    TUnicodeMemo* TntMemo1 = nullptr; // source text
    TUnicodeMemo* TntMemo2 = nullptr; // translation, read-only
    TbsSkinComboBox* SourceComboBox = nullptr;
    TbsSkinComboBox* TargetComboBox = nullptr;
    QPushButton* bsSkinButton1 = nullptr; // 清空文本
    QPushButton* bsSkinButton2 = nullptr; // 复制译文
    QPushButton* bsSkinButton3 = nullptr; // 智能升级
    QPushButton* bsSkinButton4 = nullptr; // 联系我们
    QPushButton* bsSkinButton5 = nullptr; // 使用帮助
    QPushButton* bsSkinButton7 = nullptr; // 开 始 翻 译 (default button)
    QPushButton* bsSkinButton8 = nullptr; // 图片文字识别
    TClickLabel* TntLabel1 = nullptr;     // 译文显示框：
    QLabel* EngineLabel = nullptr;        // right of it: who answered the last translation
    TClickLabel* TntLabel2 = nullptr;     // 原文输入框：
    TClickLabel* TntLabel3 = nullptr;     // 译文语言： (double-click swaps)
    TClickLabel* TntLabel4 = nullptr;     // 原文语言： (double-click swaps)
    TSpeakerImage* Image1 = nullptr;      // reads TntMemo1 aloud
    TSpeakerImage* Image2 = nullptr;      // reads TntMemo2 aloud

    // Everything below the caption bar.
    QWidget* ClientPanel = nullptr;
    // The three bands that open the popup menu on a right click.
    QWidget* HeaderPanel = nullptr;
    QWidget* TargetHeaderPanel = nullptr;
    QWidget* ButtonPanel = nullptr;

    QMenu* bsSkinPopupMenu2 = nullptr;
    QAction* N1 = nullptr;           // 联系我们
    QAction* N5 = nullptr;           // separator
    QAction* N6 = nullptr;           // 软件界面（一）, tag 1, group 1
    QAction* N7 = nullptr;           // 软件界面（二）, tag 2, group 1
    QAction* N8 = nullptr;           // 软件界面（三）, tag 3, group 1
    QAction* N9 = nullptr;           // separator
    QAction* OCRServerID1 = nullptr; // 图片文字识别引擎（一）, tag 1, group 2
    QAction* OCRServerID2 = nullptr; // 图片文字识别引擎（二）, tag 2, group 2
    QAction* N2 = nullptr;           // separator
    QAction* N10 = nullptr;          // 添加桌面快捷图标

    // --- components -----------------------------------------------------
    TbsBusinessSkinForm* bsBusinessSkinForm1 = nullptr;
    TbsTrayIcon* bsTrayIcon1 = nullptr;
    TbsSkinData* bsSkinData1 = nullptr;
    TbsCompressedStoredSkin* bsCompressedStoredSkin1 = nullptr;
    TbsCompressedStoredSkin* bsCompressedStoredSkin2 = nullptr;
    TbsCompressedStoredSkin* bsCompressedStoredSkin3 = nullptr;
    TbsSkinMessage* bsSkinMessage1 = nullptr;
    TFileStorage* FileStorage1 = nullptr;

    // Read-only views of the services behind the window.
    const TranslateService& Translation() const { return *translation_; }
    const OcrService& Recognition() const { return *recognition_; }
    const SpeechService& Speech() const { return *speech_; }
    const TMp3Player& Player() const { return *player_; }

    // The tag of a menu item (N6..N8: 1..3, OCRServerID1/2: 1/2, others 0).
    static int Tag(const QAction* item);

    // --- window life ----------------------------------------------------
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender);
    void bsBusinessSkinForm1RestoreFromTray(QObject* Sender);

    // --- commands -------------------------------------------------------
    void bsSkinButton1Click(QObject* Sender);
    void bsSkinButton2Click(QObject* Sender);
    void bsSkinButton3Click(QObject* Sender);
    void bsSkinButton4Click(QObject* Sender);
    void bsSkinButton5Click(QObject* Sender);
    void N2Click(QObject* Sender);
    void N6Click(QObject* Sender);
    void OCRServerID1Click(QObject* Sender);
    void N10Click(QObject* Sender);
    void SourceComboBoxCloseUp(QObject* Sender);
    void TargetComboBoxCloseUp(QObject* Sender);

    // --- translation ----------------------------------------------------
    void bsSkinButton7Click(QObject* Sender);
    // Key is the Qt key code (Qt::Key_Return / Qt::Key_Enter for Enter); setting
    // it to 0 swallows the key.
    void TntMemo1KeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);
    // Key is the typed character ('\r' for Enter); setting it to 0 swallows it.
    void TntMemo1KeyPress(QObject* Sender, QChar& Key);

    // --- recognition ----------------------------------------------------
    void bsSkinButton8Click(QObject* Sender);
    // The upload's progress, as the service reports it, in the source box.
    void OCRHttpUploadProgress(QObject* Sender, int DataSize, int BytesTransferred, int ElapsedTime,
                               int EstimatedTimeLeft, quint8 PercentsDone, float TransferRate);
    // The engine of the checked menu item (None when neither is checked).
    OcrEngine CheckedOcrEngine() const;

    // --- read aloud -----------------------------------------------------
    void Image1Click(QObject* Sender);
    void Image2Click(QObject* Sender);
    void SpeakText(const QString& Text, const QString& LanguageCode);
    void PlayMp3File(const QString& Path);

    // --- commands: help text ----------------------------------------------
    static QStringList HelpText();

    // What the services report, shown as the window shows it.
    void TranslationFinished(const TranslateResult& result);
    void OcrFinished(const OcrResult& result);
    void SpeechFinished(const SpeechResult& result);

    // --- translation engines ----------------------------------------------
    // The caption's menu (a right click on the caption bar, or a click on its icon).
    QMenu* CaptionMenu = nullptr;
    QAction* CaptionEngines = nullptr; // 翻译引擎设置
    // Opens the engines' settings dialog; the chain is read again afterwards.
    void EnginesClick(QObject* Sender);
    // Reads the engines' settings again; keys the secret service keeps arrive
    // later, and a translation asked for meanwhile waits for them.
    void ReloadTranslateConfig();

    // --- desktop reach: tray menu, requests of later starts, shortcuts -----
    QMenu* TrayMenu = nullptr;
    QAction* TrayShow = nullptr;      // 显示主窗口
    QAction* TrayTranslate = nullptr; // 翻译选中文本
    QAction* TrayRecognize = nullptr; // 图片文字识别
    QAction* TrayEngines = nullptr;   // 翻译引擎设置
    QAction* TrayQuit = nullptr;      // 退出
    // Brings the window up from the tray, minimised or behind others.
    void BringToFront();
    // The selection (the primary selection where there is one, else the
    // clipboard) into the source box, then the translate command.
    void TranslateSelection();
    void HandleInstanceRequest(InstanceRequest request);
    // After the first paint: the tray menu, and the shortcuts the settings
    // name ("HotkeyTranslateSelection", "HotkeyRecognizeRegion"; empty turns
    // one off). A key another program holds is reported once, by name.
    void PrepareDesktopReach();

    // --- translation history --------------------------------------------
    QAction* TrayHistorySwitch = nullptr; // 记录翻译历史 (checkable)
    QAction* TrayHistory = nullptr;       // 翻译历史
    const HistoryRecorder& Recorder() const { return *recorder_; }
    // Null until the history window was first asked for.
    THistoryForm* HistoryWindow() const { return historyWindow_; }
    // Ctrl+H and the tray item: the history window, its list read afresh.
    void ShowHistory();
    // The switch: kept in the settings; off writes nothing from now on.
    void SetHistoryEnabled(bool on);
    // An entry of the history back into the boxes and the language lists.
    void UseHistoryEntry(const HistoryEntry& entry);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void WireEvents();
    void BindTranslate();
    void BuildCaptionMenu();
    void StartWaitingTranslation();
    void BindOcr();
    void BindSpeech();
    void BindHistory();
    void AddHistoryItems(QMenu* menu);
    void RecordTranslation(const TranslateResult& result);
    void InstallCursors();

    TranslateService* translation_ = nullptr;
    KeyKeeper* keys_ = nullptr;
    // While the engines' keys are looked up a translation waits; only the
    // latest lookup counts.
    bool keysPending_ = false;
    int keyLookup_ = 0;
    struct WaitingTranslation {
        QString source, target, text;
    };
    std::unique_ptr<WaitingTranslation> waiting_;
    OcrService* recognition_ = nullptr;
    SpeechService* speech_ = nullptr;
    TMp3Player* player_ = nullptr;
    std::unique_ptr<GlobalShortcuts> shortcuts_;
    HistoryRecorder* recorder_ = nullptr;
    THistoryForm* historyWindow_ = nullptr;
    // What the running translation was asked for, to record with its answer.
    QString askedSource_, askedTarget_, askedText_;
    WindowSettings settings_;
    // The latest key-down in the source box was a translate shortcut: the
    // key-press that follows it is swallowed.
    bool enterHandled_ = false;
    bool closed_ = false;
};
