#include "app/Main.h"

#include "feedback/SendUserInfo.h"
#include "toolkit/AppIcon.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <functional>
#include <memory>

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

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmate"));
    QApplication::setWindowIcon(QuillmateIcon());
    // The text boxes' own menus (cut, copy, paste) speak the interface's language.
    QTranslator qtTexts;

    auto* Form1 = new TForm1;
    Form1->setAttribute(Qt::WA_DeleteOnClose);
    // Kept hidden for the whole run; the contact command opens fresh dialogs.
    std::unique_ptr<TSendUserInfo> SendUserInfo;
    // Neither is seen before the first paint: the Qt texts only show in menus
    // and boxes opened later, and this form stays hidden.
    new AfterFirstPaint(Form1, [&qtTexts, &SendUserInfo] {
        if (qtTexts.load(QStringLiteral("qt_zh_CN"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(&qtTexts);
        SendUserInfo = std::make_unique<TSendUserInfo>();
        SendUserInfo->hide();
    });

    Form1->show();
    return app.exec();
}
