#include "app/Main.h"
#include "base/Settings.h"
#include "desktop/InstanceChannel.h"
#include "desktop/PortalShortcuts.h"
#include "desktop/X11Hotkeys.h"
#include "toolkit/AppIcon.h"

#include <QApplication>
#include <QClipboard>

namespace {

enum HotkeyId { kTranslateSelection = 1, kRecognizeRegion = 2 };

struct HotkeySetting {
    HotkeyId id;
    const char* name;
    const char* fallback;
    const char* portalId;
    const char* description;
} const kHotkeys[] = {
    {kTranslateSelection, "HotkeyTranslateSelection", "Ctrl+Alt+E", "translate-selection",
     "翻译选中文本"},
    {kRecognizeRegion, "HotkeyRecognizeRegion", "Ctrl+Alt+O", "recognize-region", "图片文字识别"},
};

QString HotkeyText(const HotkeySetting& setting) {
    const QString name = QString::fromLatin1(setting.name);
    if (std::unique_ptr<SettingsKey> key = SettingsKey::Open()) {
        try {
            if (key->ValueExists(name))
                return key->ReadString(name);
        } catch (const ESettingsError&) {
        }
    }
    return QString::fromLatin1(setting.fallback);
}

} // namespace

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

// Wayland lets no program grab keys; the desktop's portal binds them, when
// the session has one (else the README's way: the desktop's own settings).
void TForm1::BindPortalShortcuts() {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        !PortalShortcuts::Available())
        return;
    std::vector<PortalShortcuts::Shortcut> shortcuts;
    for (const HotkeySetting& setting : kHotkeys) {
        const QString keys = HotkeyText(setting);
        if (!keys.isEmpty())
            shortcuts.push_back({QString::fromLatin1(setting.portalId),
                                 QString::fromUtf8(setting.description), keys});
    }
    if (shortcuts.empty())
        return;
    Portal = new PortalShortcuts(this);
    Portal->OnActivated = [this](const QString& id) {
        HandleInstanceRequest(id == QLatin1String("recognize-region")
                                  ? InstanceRequest::RecognizeRegion
                                  : InstanceRequest::TranslateSelection);
    };
    Portal->Bind(std::move(shortcuts));
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
        TrayMenu->addSeparator();
        // From the tray the window is hidden: closing it alone would not end the run.
        TrayQuit = TrayMenu->addAction(QStringLiteral("退出"), this, [this] {
            close();
            QCoreApplication::quit();
        });
        bsTrayIcon1->SetMenu(TrayMenu);
    }
    if (Hotkeys || Portal)
        return;
    if (!X11Hotkeys::Available()) {
        BindPortalShortcuts();
        return;
    }
    Hotkeys = new X11Hotkeys;
    Hotkeys->OnPressed = [this](int id) {
        HandleInstanceRequest(id == kTranslateSelection ? InstanceRequest::TranslateSelection
                                                        : InstanceRequest::RecognizeRegion);
    };
    QStringList taken, unusable;
    for (const HotkeySetting& setting : kHotkeys) {
        const QString text = HotkeyText(setting);
        if (text.isEmpty())
            continue;
        const X11Hotkeys::Grab grab = Hotkeys->Add(setting.id, text);
        if (grab == X11Hotkeys::Grab::Taken)
            taken << text;
        else if (grab == X11Hotkeys::Grab::Invalid)
            unusable << text;
    }
    const QString separator = QStringLiteral("、");
    if (!taken.isEmpty())
        bsSkinMessage1->ShowSkinMessage(
            QStringLiteral("   全局快捷键 %1 已被其他程序占用，请在设置文件中另选按键。")
                .arg(taken.join(separator)),
            TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
    if (!unusable.isEmpty())
        bsSkinMessage1->ShowSkinMessage(
            QStringLiteral("   设置文件中的快捷键 %1 无法识别。").arg(unusable.join(separator)),
            TbsSkinMessage::mtInformation, TbsSkinMessage::mbOK);
}
