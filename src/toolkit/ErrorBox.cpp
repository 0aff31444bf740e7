#include "toolkit/ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {
ErrorBoxHook g_hook;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    if (g_hook) {
        g_hook(text);
        return;
    }
    QMessageBox::critical(parent, QCoreApplication::applicationName(), text);
}

void SetErrorBoxHook(ErrorBoxHook hook) {
    g_hook = std::move(hook);
}
