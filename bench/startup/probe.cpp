// Loaded by Qt at application start; writes the monotonic time (ns) at which
// the first window has been exposed and painted to the file descriptor named
// by QUILL_PROBE_FD, as one decimal line.
#include <QEvent>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

class Probe : public QObject {
public:
    explicit Probe(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!reported_ && event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window && window->isExposed()) {
                reported_ = true;
                // Queued: runs once the window has handled the expose, i.e. painted.
                QMetaObject::invokeMethod(this, &Probe::Report, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void Report() {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const int fd = qEnvironmentVariableIntValue("QUILL_PROBE_FD");
        if (fd <= 0)
            return;
        char line[32];
        const int n = std::snprintf(line, sizeof line, "%lld\n",
                                    (long long)now.tv_sec * 1000000000LL + now.tv_nsec);
        if (::write(fd, line, size_t(n)) < 0)
            return;
        ::close(fd);
    }

    bool reported_ = false;
};

} // namespace

class QuillProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")
public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare("quillprobe", Qt::CaseInsensitive) == 0 ? new Probe(qApp) : nullptr;
    }
};

#include "probe.moc"
