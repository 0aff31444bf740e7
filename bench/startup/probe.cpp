// Loaded by Qt at application start; writes to the file descriptor named by
// QUILL_PROBE_FD one "label ns" line (monotonic time) per stage of the start:
//   platform  the platform plugin is up (this plugin is created)
//   form      the first widget receives an event: the window is being built
//   polish    the first window is polished: it is built and about to show
//   shown     the first window has laid itself out and shows
//   exposed   the display server exposed it
//   painted   it has handled the expose, i.e. painted (the last line)
#include "MonotonicNs.h"

#include <QEvent>
#include <QGenericPlugin>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

class Probe : public QObject {
public:
    explicit Probe(QObject* parent) : QObject(parent) {
        Mark("platform");
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (reported_)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        // Popups (a list's drop-down) may be built and polished early, hidden.
        const bool window = widget && widget->isWindow() && widget->windowType() != Qt::Popup &&
                            widget->windowType() != Qt::ToolTip;
        if (widget && !form_) {
            form_ = true;
            Mark("form");
        }
        if (window && event->type() == QEvent::Polish && !polished_) {
            polished_ = true;
            Mark("polish");
        }
        if (window && event->type() == QEvent::Show && !shown_) {
            shown_ = true;
            Mark("shown");
        }
        if (event->type() == QEvent::Expose) {
            auto* exposed = qobject_cast<QWindow*>(watched);
            if (exposed && exposed->isExposed()) {
                reported_ = true;
                Mark("exposed");
                // Queued: runs once the window has handled the expose, i.e. painted.
                QMetaObject::invokeMethod(this, &Probe::Report, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void Mark(const char* label) { lines_ += label + (" " + std::to_string(MonotonicNs())) + "\n"; }

    void Report() {
        Mark("painted");
        const int fd = qEnvironmentVariableIntValue("QUILL_PROBE_FD");
        if (fd <= 0)
            return;
        if (::write(fd, lines_.data(), lines_.size()) < 0)
            return;
        ::close(fd);
    }

    std::string lines_;
    bool form_ = false;
    bool polished_ = false;
    bool shown_ = false;
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
