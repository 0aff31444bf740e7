#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
ShellOpenHook g_hook;
}

void ShellOpen(const QString& address) {
    if (g_hook) {
        g_hook(address);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

bool IsWebAddress(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == "http" || scheme == "https";
}

void SetShellOpenHook(ShellOpenHook hook) {
    g_hook = std::move(hook);
}
