#include "app/Main.h"
#include "desktop/GlobalShortcuts.h"
#include "desktop/InstanceChannel.h"
#include "desktop/ShortcutTable.h"
#include "toolkit/AppIcon.h"

#include <QApplication>
#include <QClipboard>

void TForm1::BringToFront() {
    if (bsBusinessSkinForm1->InTray()) {
        bsBusinessSkinForm1->RestoreFromTray();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void TForm1::TranslateSelection() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    QString text;
    if (clipboard->supportsSelection())
        text = clipboard->text(QClipboard::Selection);
    if (text.isEmpty())
        text = clipboard->text(QClipboard::Clipboard);
    BringToFront();
    TntMemo1->PasteText(text);
    bsSkinButton7Click(this);
}

void TForm1::HandleInstanceRequest(InstanceRequest request) {
    switch (request) {
    case InstanceRequest::Show:
        BringToFront();
        break;
    case InstanceRequest::TranslateSelection:
        TranslateSelection();
        break;
    case InstanceRequest::RecognizeRegion:
        BringToFront();
        bsSkinButton8Click(bsSkinButton8);
        break;
    }
}

void TForm1::PrepareDesktopReach() {
    if (!TrayMenu) {
        QApplication::setWindowIcon(QuillmateIcon());
        setWindowIcon(QuillmateIcon());
        TrayMenu = new QMenu(this);
        TrayShow =
            TrayMenu->addAction(QStringLiteral("显示主窗口"), this, [this] { BringToFront(); });
        TrayTranslate = TrayMenu->addAction(QStringLiteral("翻译选中文本"), this,
                                            [this] { TranslateSelection(); });
        TrayRecognize = TrayMenu->addAction(QStringLiteral("图片文字识别"), this, [this] {
            HandleInstanceRequest(InstanceRequest::RecognizeRegion);
        });
        AddHistoryItems(TrayMenu);
        TrayEngines = TrayMenu->addAction(QStringLiteral("翻译引擎设置"), this,
                                          [this] { EnginesClick(TrayEngines); });
        TrayMenu->addSeparator();
        // From the tray the window is hidden: closing it alone would not end the run.
        TrayQuit = TrayMenu->addAction(QStringLiteral("退出"), this, [this] {
            close();
            QCoreApplication::quit();
        });
        bsTrayIcon1->SetMenu(TrayMenu);
    }
    if (shortcuts_)
        return;
    GlobalShortcuts::Refusals refused;
    shortcuts_ = CreateGlobalShortcuts(ShortcutsFromSettings(), &refused);
    shortcuts_->OnActivated = [this](const QString& id) {
        HandleInstanceRequest(RequestOfShortcut(id));
    };
    const QString separator = QStringLiteral("、");
    if (!refused.taken.isEmpty())
        bsSkinMessage1->ShowSkinMessage(
            QStringLiteral("   全局快捷键 %1 已被其他程序占用，请在设置文件中另选按键。")
                .arg(refused.taken.join(separator)),
            TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
    if (!refused.unusable.isEmpty())
        bsSkinMessage1->ShowSkinMessage(QStringLiteral("   设置文件中的快捷键 %1 无法识别。")
                                            .arg(refused.unusable.join(separator)),
                                        TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
}
