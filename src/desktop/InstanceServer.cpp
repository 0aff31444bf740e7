#include "desktop/InstanceServer.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// More waiting starts than anyone makes by hand; beyond it, new ones are shut.
constexpr std::size_t kMostPendingPeers = 16;

// One start whose line is on its way; ends itself when the line is in, the
// peer fails or the deadline passes.
class InstancePeer : public QObject {
public:
    InstancePeer(int fd, int deadlineMs, QObject* parent,
                 std::function<void(InstanceRequest)> onRequest)
        : QObject(parent), fd_(fd), onRequest_(std::move(onRequest)),
          notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
        connect(notifier_, &QSocketNotifier::activated, this, &InstancePeer::Read);
        QTimer::singleShot(deadlineMs, this, &InstancePeer::End);
    }
    ~InstancePeer() override {
        delete notifier_;
        ::close(fd_);
    }

private:
    void Read() {
        const LineRead state = ReadRequestLine(fd_, line_);
        if (state == LineRead::Pending)
            return;
        InstanceRequest request;
        const bool ok = state == LineRead::Complete && ConfirmInstanceRequest(fd_, line_, request);
        End();
        // Raised from the event loop, where the handler may end the server
        // and with it this peer.
        if (ok && onRequest_)
            QMetaObject::invokeMethod(
                parent(), [handler = onRequest_, request] { handler(request); },
                Qt::QueuedConnection);
    }
    void End() {
        notifier_->setEnabled(false);
        deleteLater();
    }

    int fd_;
    std::string line_;
    std::function<void(InstanceRequest)> onRequest_;
    QSocketNotifier* notifier_;
};

} // namespace

InstanceServer::InstanceServer(int listenFd, std::string path, QObject* parent, int lineDeadlineMs)
    : QObject(parent), fd_(listenFd), path_(std::move(path)), lineDeadlineMs_(lineDeadlineMs),
      notifier_(new QSocketNotifier(listenFd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, &InstanceServer::AcceptPeers);
}

InstanceServer::~InstanceServer() {
    for (const QPointer<QObject>& peer : peers_)
        delete peer.data();
    delete notifier_;
    ::close(fd_);
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path_.c_str());
}

int InstanceServer::PendingPeers() const {
    return static_cast<int>(std::count_if(peers_.begin(), peers_.end(),
                                          [](const auto& peer) { return !peer.isNull(); }));
}

void InstanceServer::AcceptPeers() {
    for (int fd; (fd = AcceptInstancePeer(fd_)) >= 0;) {
        std::erase_if(peers_, [](const auto& peer) { return peer.isNull(); });
        if (peers_.size() >= kMostPendingPeers) {
            ::close(fd);
            continue;
        }
        peers_.emplace_back(
            new InstancePeer(fd, lineDeadlineMs_, this, [this](InstanceRequest request) {
                if (OnRequest)
                    OnRequest(request);
            }));
    }
}
