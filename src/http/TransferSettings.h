#pragma once

#include "http/auHTTP.h"

#include <QString>
#include <QStringList>

// A copy of what a transfer component is set to send: what a service shows of
// its transfer without handing the component out. Changing the copy changes
// nothing.
struct TransferSettings {
    QString url;
    QString unixSocketPath;
    QString agent;
    QString acceptTypes;
    QStringList addHeaders;
    QString outputFileName;
    TauHTTPProxy proxy;
    TauHTTPTimeouts timeouts;
    int transferBufferSize = 0;
    int waitTimeout = 0;
    bool waitThread = false;
    bool useCache = true;
    bool useCookies = true;
};

TransferSettings SettingsOf(const TauCustomHTTP& component);
