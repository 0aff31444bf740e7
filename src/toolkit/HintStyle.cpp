#include "toolkit/HintStyle.h"

#include <QApplication>
#include <QEvent>
#include <QProxyStyle>

namespace {

int g_pause = 500;
bool g_enabled = true;

class HintProxyStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return g_pause;
        // Drop-down lists open below the box with their set number of rows,
        // not as a menu over it that ignores that number.
        if (hint == SH_ComboBox_Popup)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

// Swallows tool tips while hints are off.
class HintGate : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!g_enabled && event->type() == QEvent::ToolTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

bool g_installed = false;

} // namespace

void SetApplicationHints(bool enabled, int pauseMs) {
    g_enabled = enabled;
    g_pause = pauseMs;
    if (!g_installed && qApp) {
        g_installed = true;
        QApplication::setStyle(new HintProxyStyle(QStringLiteral("Fusion")));
        qApp->installEventFilter(new HintGate(qApp));
    }
}

int ApplicationHintPause() {
    return g_pause;
}

bool ApplicationHintsEnabled() {
    return g_enabled;
}
