#include "desktop/InstanceServer.h"

#include <QSocketNotifier>
#include <sys/stat.h>
#include <unistd.h>

InstanceServer::InstanceServer(int listenFd, std::string path, QObject* parent)
    : QObject(parent), fd_(listenFd), path_(std::move(path)),
      notifier_(new QSocketNotifier(listenFd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        InstanceRequest request;
        if (ReadInstanceRequest(fd_, request) && OnRequest)
            OnRequest(request);
    });
}

InstanceServer::~InstanceServer() {
    delete notifier_;
    ::close(fd_);
    struct stat info {};
    if (::lstat(path_.c_str(), &info) == 0 && S_ISSOCK(info.st_mode))
        ::unlink(path_.c_str());
}
