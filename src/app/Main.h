#pragma once

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
#include <QIODevice>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>

class TauHTTP;
class TFileStorage;
class TMp3Player;
class TranslateService;
class OcrService;
class SpeechService;
struct TranslateResult;
struct OcrResult;
struct SpeechResult;
enum class OcrEngine;
enum class InstanceRequest;
class X11Hotkeys;
class PortalShortcuts;

// The main window. Every control and component is a public member so the
// feature files (MainTranslate, MainOcr, MainSpeech, MainCommands, MainCursors)
// and the tests reach them by name. The features themselves are services
// below the window; each feature file makes its service in its Bind* step and
// shows what it reports.
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
    TranslateService* Translation = nullptr;
    OcrService* Recognition = nullptr;
    SpeechService* Speech = nullptr;
    // The services' transfer components.
    TauHTTP* auHTTP1 = nullptr; // translation
    TauHTTP* auHTTP2 = nullptr; // speech
    TauHTTP* OCRHttp = nullptr; // recognition

    // --- fields ---------------------------------------------------------
    int32_t OCRServer = 0;
    int32_t OCRLanguage = 0;
    QString OCRPath;
    bool EnterHandled = false;

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
    void auHTTP1Done(QObject* Sender, const QString& ContentType, int FileSize, QIODevice* Stream);
    void auHTTP1ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream);
    void auHTTP1HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream);
    void auHTTP1HostUnreachable(QObject* Sender);
    void auHTTP1WaitTimeoutExpired(QObject* Sender);

    // --- recognition ----------------------------------------------------
    void bsSkinButton8Click(QObject* Sender);
    void OCRHttpDone(QObject* Sender, const QString& ContentType, int FileSize, QIODevice* Stream);
    void OCRHttpUploadProgress(QObject* Sender, int DataSize, int BytesTransferred, int ElapsedTime,
                               int EstimatedTimeLeft, quint8 PercentsDone, float TransferRate);
    void OCRHttpUploadFieldRequest(QObject* Sender, quint16 FileIndex, QIODevice* UploadStream,
                                   QString& FieldName, QString& FileName);
    void OCRHttpConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream);
    void OCRHttpHTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream);
    void OCRHttpHostUnreachable(QObject* Sender);

    // --- read aloud -----------------------------------------------------
    void Image1Click(QObject* Sender);
    void Image2Click(QObject* Sender);
    void auHTTP2Done(QObject* Sender, const QString& ContentType, int FileSize, QIODevice* Stream);
    void auHTTP2ConnLost(QObject* Sender, const QString& ContentType, int FileSize, int BytesRead,
                         QIODevice* Stream);
    void auHTTP2HTTPError(QObject* Sender, int ErrorCode, QIODevice* Stream);
    void auHTTP2HostUnreachable(QObject* Sender);
    void auHTTP2WaitTimeoutExpired(QObject* Sender);

    // Feature members added by their owners go below this line.

    // --- read aloud: request and playback --------------------------------
    TMp3Player* Mp3Player = nullptr;
    void SpeakText(const QString& Text, const QString& LanguageCode);
    void PlayMp3File(const QString& Path);

    // --- commands: help text and desktop launcher -------------------------
    static QStringList HelpText();
    // The launcher file's text for a program, its folder and its icon file.
    static QByteArray DesktopLauncher(const QString& program, const QString& folder,
                                      const QString& icon);
    // Where the launcher goes: "Quillmate.desktop" in the user's desktop folder.
    static QString DesktopLauncherPath();

    // Recognition: one capture into "ocr.jpg"; true when a fresh picture was written.
    bool CaptureScreenToJpeg();
    // The engine of the checked menu item (None when neither is checked).
    OcrEngine CheckedOcrEngine() const;

    // What the services report, shown as the window shows it.
    void TranslationFinished(const TranslateResult& result);
    void OcrFinished(const OcrResult& result);
    void SpeechFinished(const SpeechResult& result);

    // --- desktop reach: tray menu, requests of later starts, shortcuts -----
    QMenu* TrayMenu = nullptr;
    QAction* TrayShow = nullptr;      // 显示主窗口
    QAction* TrayTranslate = nullptr; // 翻译选中文本
    QAction* TrayRecognize = nullptr; // 图片文字识别
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
    X11Hotkeys* Hotkeys = nullptr;
    PortalShortcuts* Portal = nullptr; // Wayland: the portal's shortcuts

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
    void BindOcr();
    void BindSpeech();
    void BindCommands();
    void InstallCursors();
    void BindPortalShortcuts();

    bool closed_ = false;
};
