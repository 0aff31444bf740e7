#pragma once

#include "desktop/InstanceChannel.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;

// The running window's end of the single-instance channel, on the event loop.
// Takes over a socket from ListenOrHandOver and removes it at the end. Starts
// are read as their bytes come, each within one deadline for its whole line,
// so a peer that stays silent or trickles never holds the window up.
class InstanceServer : public QObject {
public:
    InstanceServer(int listenFd, std::string path, QObject* parent = nullptr,
                   int lineDeadlineMs = 2000);
    ~InstanceServer() override;

    std::function<void(InstanceRequest)> OnRequest;

    // Starts whose line has not arrived yet.
    int PendingPeers() const;

private:
    void AcceptPeers();

    int fd_;
    std::string path_;
    int lineDeadlineMs_;
    QSocketNotifier* notifier_;
    std::vector<QPointer<QObject>> peers_; // each ends itself; null once gone
};
