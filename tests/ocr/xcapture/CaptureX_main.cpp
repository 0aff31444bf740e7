// The capture library on a real X server, driven the way a person uses it:
// xdotool drags, clicks and presses keys while PrScrn waits for the user.
// Needs QUILL_X_DISPLAY; QT_SCALE_FACTOR may be set to check high-DPI mapping.
#include "../../../capture/PortalScreenshot.h"
#include "../XSession.h"
#include "SilentPortal.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cmath>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace {

qreal Scale() {
    const QByteArray factor = qgetenv("QT_SCALE_FACTOR");
    return factor.isEmpty() ? 1.0 : factor.toDouble();
}

// Known content: left half red, right half blue, at a known place.
class Target : public PlacedWindow {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(0, 0, width() / 2, height()), QColor(220, 0, 0));
        painter.fillRect(QRect(width() / 2, 0, width() - width() / 2, height()), QColor(0, 0, 220));
    }
};

struct Capture {
    int returned = -1;
    QImage picture;
    QString text;
};

// Calls PrScrn; once its overlay is up, runs xdotool with the given arguments
// (or, with closeOverlay, closes the overlay as a window manager would).
Capture RunCapture(const QStringList& xdotool, bool closeOverlay = false) {
    void* library = dlopen(PRSCRN_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    if (!library)
        return {};
    auto prScrn = reinterpret_cast<int (*)()>(dlsym(library, "PrScrn"));
    EXPECT_NE(prScrn, nullptr);

    QProcess driver;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->windowHandle() &&
                widget->windowHandle()->isExposed() && !dynamic_cast<Target*>(widget)) {
                poll.stop();
                // Leave the overlay a moment to take the keyboard.
                QTimer::singleShot(300, [&, widget] {
                    if (closeOverlay)
                        widget->close();
                    else
                        driver.start("xdotool", xdotool);
                });
                return;
            }
        }
    });
    poll.start(20);
    // A capture that never ends would hang the run: close its overlay and fail.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the capture did not end after its input";
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && !dynamic_cast<Target*>(widget))
                widget->close();
    });
    watchdog.start(30000);
    Capture capture;
    capture.returned = prScrn();
    poll.stop();
    watchdog.stop();
    driver.waitForFinished(5000);
    dlclose(library);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data && data->hasImage())
        capture.picture = QApplication::clipboard()->image();
    capture.text = QApplication::clipboard()->text();
    return capture;
}

// Device pixel of a logical point, as the X server (and xdotool) count.
QString D(qreal logical) {
    return QString::number(std::lround(logical * Scale()));
}

class CaptureX : public ::testing::Test {
protected:
    void SetUp() override {
        target.setGeometry(100, 100, 400, 300);
        target.show();
        Wait(300);
        QApplication::clipboard()->setText("before");
        Wait(50);
    }
    void TearDown() override { target.hide(); }

    // Drag from logical (x0, y0) to (x1, y1), then the given finishing steps.
    static QStringList Drag(qreal x0, qreal y0, qreal x1, qreal y1, const QStringList& finish) {
        QStringList args{"mousemove",
                         D(x0),
                         D(y0),
                         "sleep",
                         "0.1",
                         "mousedown",
                         "1",
                         "mousemove",
                         D((x0 + x1) / 2),
                         D((y0 + y1) / 2),
                         "sleep",
                         "0.1",
                         "mousemove",
                         D(x1),
                         D(y1),
                         "sleep",
                         "0.1",
                         "mouseup",
                         "1",
                         "sleep",
                         "0.2"};
        return args + finish;
    }

    Target target;
};

bool IsRed(QRgb p) {
    return qRed(p) > 180 && qBlue(p) < 40;
}
bool IsBlue(QRgb p) {
    return qBlue(p) > 180 && qRed(p) < 40;
}

} // namespace

TEST_F(CaptureX, DragAndEnterLeavesTheRegionInDevicePixels) {
    const Capture c = RunCapture(Drag(200, 150, 400, 250, {"key", "Return"}));
    EXPECT_EQ(c.returned, 1);
    ASSERT_FALSE(c.picture.isNull());
    const int w = std::lround(400 * Scale()) - std::lround(200 * Scale());
    const int h = std::lround(250 * Scale()) - std::lround(150 * Scale());
    EXPECT_EQ(c.picture.size(), QSize(w, h)) << "scale " << Scale();
    // The target's halves meet at logical x = 300: the middle of the region.
    EXPECT_TRUE(IsRed(c.picture.pixel(2, h / 2)));
    EXPECT_TRUE(IsRed(c.picture.pixel(w / 2 - 2, h / 2)));
    EXPECT_TRUE(IsBlue(c.picture.pixel(w / 2 + 1, h / 2)));
    EXPECT_TRUE(IsBlue(c.picture.pixel(w - 1, h - 1)));
}

TEST_F(CaptureX, EscapeAndRightClickCancelWithoutTouchingTheClipboard) {
    for (const QStringList& finish : {QStringList{"key", "Escape"}, QStringList{"click", "3"}}) {
        const Capture c = RunCapture(Drag(150, 150, 300, 300, finish));
        EXPECT_EQ(c.returned, 0) << finish.join(' ').toStdString();
        EXPECT_TRUE(c.picture.isNull());
        EXPECT_EQ(c.text, "before");
    }
}

TEST_F(CaptureX, ClosingTheOverlayCancels) {
    const Capture c = RunCapture({}, true);
    EXPECT_EQ(c.returned, 0);
    EXPECT_EQ(c.text, "before");
}

TEST_F(CaptureX, DoubleClickAndTheDoneButtonConfirm) {
    const Capture twice = RunCapture(
        Drag(120, 120, 220, 200, {"mousemove", D(170), D(160), "click", "--repeat", "2", "1"}));
    EXPECT_EQ(twice.returned, 1);
    EXPECT_EQ(twice.picture.width(), std::lround(220 * Scale()) - std::lround(120 * Scale()));

    // The button sits right under the selection's bottom-right corner.
    const Capture button =
        RunCapture(Drag(120, 120, 260, 200, {"mousemove", D(240), D(212), "click", "1"}));
    EXPECT_EQ(button.returned, 1);
    EXPECT_EQ(button.picture.height(), std::lround(200 * Scale()) - std::lround(120 * Scale()));
}

TEST_F(CaptureX, SelectionCanBeMovedAndResized) {
    // Draw, grow by the bottom-right corner, then move the whole selection.
    QStringList steps = Drag(150, 150, 250, 250, {});
    steps << "mousemove" << D(250) << D(250) << "mousedown"
          << "1"
          << "mousemove" << D(300) << D(280) << "sleep"
          << "0.1"
          << "mouseup"
          << "1"
          << "sleep"
          << "0.1";
    steps << "mousemove" << D(200) << D(200) << "mousedown"
          << "1"
          << "mousemove" << D(260) << D(200) << "sleep"
          << "0.1"
          << "mouseup"
          << "1"
          << "sleep"
          << "0.2"
          << "key"
          << "Return";
    const Capture c = RunCapture(steps);
    ASSERT_EQ(c.returned, 1);
    EXPECT_EQ(c.picture.size(), QSize(std::lround(300 * Scale()) - std::lround(150 * Scale()),
                                      std::lround(280 * Scale()) - std::lround(150 * Scale())));
    // Moved 60 to the right: now from x = 210 to 360, so blue begins at 300.
    const int blueFrom = std::lround(300 * Scale()) - std::lround(210 * Scale());
    EXPECT_TRUE(IsRed(c.picture.pixel(blueFrom - 3, 10)));
    EXPECT_TRUE(IsBlue(c.picture.pixel(blueFrom + 2, 10)));
}

namespace {

// Every D-Bus use of this program goes to a bus of its own, set up before the
// first test: Qt connects once, and the portal test must never reach the
// desktop's real portal.
class OwnSessionBus : public ::testing::Environment {
public:
    static inline bool wanted = false;
    static inline PrivateBus* bus = nullptr;

    void SetUp() override {
        wanted = !QStandardPaths::findExecutable("dbus-daemon").isEmpty();
        if (!wanted)
            return;
        bus_ = std::make_unique<PrivateBus>();
        if (!bus_->Start())
            return;
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_->Address());
        bus = bus_.get();
    }
    void TearDown() override {
        bus = nullptr;
        bus_.reset();
    }

private:
    std::unique_ptr<PrivateBus> bus_;
};

} // namespace

// Last in the program: a wait that never ends is cut by ending every event
// loop, after which none would run again.
TEST(Portal, AScreenshotNeverAnsweredEndsAsACancel) {
    if (!OwnSessionBus::wanted)
        GTEST_SKIP() << "no dbus-daemon";
    ASSERT_NE(OwnSessionBus::bus, nullptr) << "dbus-daemon did not start";
    void* library = dlopen(PRSCRN_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto take =
        reinterpret_cast<decltype(&TakePortalScreenshot)>(dlsym(library, "TakePortalScreenshot"));
    if (!take) {
        dlclose(library);
        GTEST_SKIP() << "the capture library was built without the portal";
    }
    SilentPortal portal;
    ASSERT_TRUE(portal.Start(OwnSessionBus::bus->SocketPath()));

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "still waiting for the portal long after the limit";
        QCoreApplication::exit(1);
    });
    watchdog.start(20000);
    const PortalResult result = take(300);
    watchdog.stop();
    EXPECT_TRUE(result.available);
    EXPECT_TRUE(result.picture.isNull());
    EXPECT_EQ(portal.Calls("Screenshot"), 1);
    // The portal is told to drop the request, so no dialog of it stays behind.
    for (int i = 0; i < 100 && portal.Calls("Close") == 0; ++i)
        Wait(20);
    EXPECT_EQ(portal.Calls("Close"), 1);
    dlclose(library);
}

int main(int argc, char** argv) {
    // QT_SCALE_FACTOR is left as the caller set it: high-DPI mapping is under test.
    ::testing::AddGlobalTestEnvironment(new OwnSessionBus);
    return RunTestsOnXServer(argc, argv);
}
