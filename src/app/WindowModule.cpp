#include "app/Main.h"
#include "desktop/InstanceServer.h"
#include "feedback/SendUserInfo.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QPointer>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <functional>
#include <memory>
#include <unistd.h>

namespace {

// Runs a job once, on the event loop turn after the window's first paint, so
// work nobody sees yet does not delay the window appearing.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> job)
        : QObject(window), job_(std::move(job)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && job_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                const auto job = std::move(job_);
                job_ = nullptr;
                job();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> job_;
};

} // namespace

// The window, loaded by the launcher (src/launcher) when no command is given.
extern "C" Q_DECL_EXPORT int QuillmateWindowMain(int argc, char** argv) {
    // One window per user: a window that started meanwhile gets the request.
    InstanceRequest request = InstanceRequest::Show;
    ParseInstanceRequest(argc > 1 ? argv[1] : "", request);
    const std::string socket = InstanceSocketPath();
    bool handedOver = false;
    const int listenFd = ListenOrHandOver(socket, request, handedOver);
    if (handedOver)
        return 0;

    // On a Wayland session the native platform: under XWayland the capture
    // would see only other X programs. X remains the fallback.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") &&
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");

    // Qt would abort without a screen to show on; say so plainly instead.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("quillmate：找不到图形显示（DISPLAY 与 WAYLAND_DISPLAY 都未设置）。"
                   "没有显示时可用命令行：quillmate --help\n",
                   stderr);
        if (listenFd >= 0) {
            ::close(listenFd);
            ::unlink(socket.c_str());
        }
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmate"));
    // Wayland shells match the window to its desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.quillmate.Quillmate"));
    // The text boxes' own menus (cut, copy, paste) speak the interface's language.
    QTranslator qtTexts;

    auto* Form1 = new TForm1;
    Form1->setAttribute(Qt::WA_DeleteOnClose);
    std::unique_ptr<InstanceServer> instances;
    if (listenFd >= 0) {
        instances = std::make_unique<InstanceServer>(listenFd, socket);
        instances->OnRequest = [form = QPointer<TForm1>(Form1)](InstanceRequest later) {
            if (form)
                form->HandleInstanceRequest(later);
        };
    }
    // Kept hidden for the whole run; the contact command opens fresh dialogs.
    std::unique_ptr<TSendUserInfo> SendUserInfo;
    // Neither is seen before the first paint: the Qt texts only show in menus
    // and boxes opened later, and this form stays hidden.
    new AfterFirstPaint(Form1, [&qtTexts, &SendUserInfo, Form1, request] {
        if (qtTexts.load(QStringLiteral("qt_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtTexts);
        SendUserInfo = std::make_unique<TSendUserInfo>();
        SendUserInfo->hide();
        Form1->PrepareDesktopReach();
        if (request != InstanceRequest::Show)
            Form1->HandleInstanceRequest(request);
    });

    Form1->show();
    return app.exec();
}
