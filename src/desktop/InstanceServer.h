#pragma once

#include "desktop/InstanceChannel.h"

#include <QObject>
#include <functional>
#include <string>

class QSocketNotifier;

// The running window's end of the single-instance channel, on the event loop.
// Takes over a socket from ListenForInstances and removes it at the end.
class InstanceServer : public QObject {
public:
    InstanceServer(int listenFd, std::string path, QObject* parent = nullptr);
    ~InstanceServer() override;

    std::function<void(InstanceRequest)> OnRequest;

private:
    int fd_;
    std::string path_;
    QSocketNotifier* notifier_;
};
