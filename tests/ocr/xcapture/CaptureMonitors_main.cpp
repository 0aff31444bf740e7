// The capture library on two monitors of different scales, side by side on an
// X server of this program's own: one 2560 x 800 root window cut into two
// RandR monitors, the scales given as the argument ("1,2": left at 1, right
// at 2). Every pixel on the screen encodes its own device position, so an
// offset, a half-size picture or a rounding slip shows in the pixels.
#include "../XSession.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QRect kMonitors[2] = {QRect(0, 0, 1280, 800), QRect(1280, 0, 1280, 800)};
std::vector<qreal> gScales;

QRgb Expected(int x, int y) {
    return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

// What the overlay's shade makes of a pixel: black at alpha 110 over it.
bool IsShaded(QRgb shown, QRgb pixel) {
    auto near = [](int got, int from) { return std::abs(got - from * 145 / 255) <= 2; };
    return near(qRed(shown), qRed(pixel)) && near(qGreen(shown), qGreen(pixel)) &&
           near(qBlue(shown), qBlue(pixel));
}

// Fills one monitor with the pattern at its device resolution.
class Pattern : public PlacedWindow {
public:
    Pattern(QScreen* screen, const QRect& device, qreal ratio)
        : picture_(device.size(), QImage::Format_RGB32) {
        for (int y = 0; y < device.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            for (int x = 0; x < device.width(); ++x)
                line[x] = Expected(device.x() + x, device.y() + y);
        }
        picture_.setDevicePixelRatio(ratio);
        setScreen(screen);
        setGeometry(screen->geometry());
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(QPointF(0, 0), picture_); }

private:
    QImage picture_;
};

// What the screen shows now, in the desktop's device pixels.
QImage ScreenNow() {
    QImage whole(2560, 800, QImage::Format_RGB32);
    whole.fill(Qt::black);
    QPainter painter(&whole);
    for (QScreen* screen : QGuiApplication::screens()) {
        QImage part = screen->grabWindow(0).toImage();
        part.setDevicePixelRatio(1);
        painter.drawImage(screen->geometry().topLeft(), part);
    }
    return whole;
}

// Pixels of area (every step-th, none in skip) that differ from the pattern,
// exactly or shaded; the first one is described in where.
int Mismatches(const QImage& shown, const QRect& area, QPoint at, bool shaded, std::string& where,
               int step = 1, const QRect& skip = {}) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); y += step)
        for (int x = area.left(); x <= area.right(); x += step) {
            const QRgb got = shown.pixel(x - at.x(), y - at.y());
            const bool ok = shaded ? IsShaded(got, Expected(x, y)) : got == Expected(x, y);
            if (!ok && !skip.contains(x, y) && count++ == 0)
                where = QStringLiteral("device (%1, %2): %3 instead of %4")
                            .arg(x)
                            .arg(y)
                            .arg(got, 8, 16)
                            .arg(Expected(x, y), 8, 16)
                            .toStdString();
        }
    return count;
}

struct Capture {
    int returned = -1;
    QImage picture;
    QImage shownDuringSelection;
};

QStringList Drag(QPoint from, QPoint to) {
    const QPoint mid = (from + to) / 2;
    auto n = [](int v) { return QString::number(v); };
    return {"mousemove", n(from.x()), n(from.y()), "sleep",   "0.1", "mousedown", "1",
            "mousemove", n(mid.x()),  n(mid.y()),  "sleep",   "0.1", "mousemove", n(to.x()),
            n(to.y()),   "sleep",     "0.1",       "mouseup", "1",   "sleep",     "0.3"};
}

// Calls PrScrn. Once its overlay is up the pattern goes away, so that only
// the frozen picture can show it; then select runs, the screen is read, and
// finish runs.
Capture RunCapture(std::vector<Pattern*> patterns, const QStringList& select,
                   const QStringList& finish) {
    Capture capture;
    void* library = dlopen(PRSCRN_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    if (!library)
        return capture;
    auto prScrn = reinterpret_cast<int (*)()>(dlsym(library, "PrScrn"));
    EXPECT_NE(prScrn, nullptr);

    QProcess selecting;
    QProcess finishing;
    QObject::connect(&selecting, &QProcess::finished, [&] {
        QTimer::singleShot(200, [&] {
            capture.shownDuringSelection = ScreenNow();
            finishing.start("xdotool", finish);
        });
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        int exposed = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (!dynamic_cast<Pattern*>(widget) && widget->isVisible() && widget->windowHandle() &&
                widget->windowHandle()->isExposed())
                ++exposed;
        if (exposed == 0)
            return;
        poll.stop();
        for (Pattern* pattern : patterns)
            pattern->hide();
        QTimer::singleShot(300, [&] { selecting.start("xdotool", select); });
    });
    poll.start(20);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the capture did not end after its input";
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && !dynamic_cast<Pattern*>(widget))
                widget->close();
    });
    watchdog.start(30000);
    capture.returned = prScrn();
    poll.stop();
    watchdog.stop();
    selecting.waitForFinished(5000);
    finishing.waitForFinished(5000);
    dlclose(library);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data && data->hasImage())
        capture.picture = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    return capture;
}

class CaptureMonitors : public ::testing::Test {
protected:
    void SetUp() override {
        const QList<QScreen*> screens = QGuiApplication::screens();
        ASSERT_EQ(screens.size(), 2) << "the X server's monitors did not reach Qt";
        for (int i = 0; i < 2; ++i) {
            QScreen* screen = screens[i];
            ASSERT_EQ(screen->geometry().topLeft(), kMonitors[i].topLeft());
            ASSERT_DOUBLE_EQ(screen->devicePixelRatio(), gScales[size_t(i)]);
            patterns_.push_back(
                std::make_unique<Pattern>(screen, kMonitors[i], screen->devicePixelRatio()));
            patterns_.back()->show();
        }
        Wait(300);
        // The test's own footing: the pattern is where it claims to be.
        std::string where;
        ASSERT_EQ(Mismatches(ScreenNow(), QRect(0, 0, 2560, 800), {}, false, where), 0) << where;
        QApplication::clipboard()->setText("before");
        Wait(50);
    }

    std::vector<Pattern*> Patterns() const {
        std::vector<Pattern*> all;
        for (const auto& pattern : patterns_)
            all.push_back(pattern.get());
        return all;
    }

    std::vector<std::unique_ptr<Pattern>> patterns_;
};

} // namespace

TEST_F(CaptureMonitors, RegionsComeOutPixelForPixelOnEitherMonitorAndAcrossTheBorder) {
    const qreal right = gScales[1];
    auto n = [](qreal v) { return QString::number(std::lround(v)); };
    struct Case {
        const char* name;
        QPoint from, to;       // device pixels as the pointer goes
        QStringList moveAfter; // further steps once the region is drawn
        QRect region;          // the device pixels expected
        bool byButton;         // 完成 instead of Enter
    };
    const Case cases[] = {
        {"left monitor", {200, 150}, {500, 400}, {}, QRect(200, 150, 300, 250), false},
        {"right monitor, odd edges, by the button",
         {1601, 201},
         {1900, 451},
         {},
         QRect(1601, 201, 299, 250),
         true},
        {"across the border", {1100, 300}, {1500, 600}, {}, QRect(1100, 300, 400, 300), false},
        {"drawn on the left, moved across",
         {900, 200},
         {1100, 400},
         Drag({1000, 300}, {1300, 350}),
         QRect(1200, 250, 200, 200),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QRect& r = c.region;
        // The button is right-aligned just under the selection, on the
        // monitor of its bottom-right corner.
        const QStringList finish =
            c.byButton ? QStringList{"mousemove", n(r.x() + r.width() - 20 * right),
                                     n(r.y() + r.height() + 12 * right), "click", "1"}
                       : QStringList{"key", "Return"};
        const Capture got = RunCapture(Patterns(), Drag(c.from, c.to) + c.moveAfter, finish);
        EXPECT_EQ(got.returned, 1);
        ASSERT_EQ(got.picture.size(), r.size());
        std::string where;
        EXPECT_EQ(Mismatches(got.picture, r, r.topLeft(), false, where), 0) << where;

        // Shown meanwhile: the selection unshaded at full resolution (inside
        // its frame), everything well away from it shaded, on both monitors.
        const QImage& shown = got.shownDuringSelection;
        ASSERT_FALSE(shown.isNull());
        EXPECT_EQ(Mismatches(shown, r.adjusted(8, 8, -8, -8), {}, false, where), 0) << where;
        // Label above, button below: left out.
        EXPECT_EQ(Mismatches(shown, QRect(0, 0, 2560, 800), {}, true, where, 37,
                             r.adjusted(-220, -100, 220, 100)),
                  0)
            << "frozen picture shown wrong at " << where;
        for (const auto& pattern : patterns_)
            pattern->show();
        Wait(300);
    }
}

namespace {

// The X server of this program, cut into two monitors before Qt connects.
class OwnXServer {
public:
    ~OwnXServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The display name, or empty when no server could be made.
    std::string Start() {
        int fds[2];
        if (pipe(fds) != 0)
            return {};
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, 1);
            dup2(quiet, 2);
            const std::string fd = std::to_string(fds[1]);
            // -noreset: the monitors must outlast the clients that set them.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "2560x800x24",
                   "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char ch = 0;
        while (poll(&wait, 1, 20000) > 0 && read(fds[0], &ch, 1) == 1 && ch != '\n')
            number += ch;
        close(fds[0]);
        if (number.empty())
            return {};
        const std::string display = ":" + number;
        for (const char* monitor : {"quill-left 1280/338x800/211+0+0 screen",
                                    "quill-right 1280/338x800/211+1280+0 none"}) {
            const std::string command =
                "DISPLAY=" + display + " xrandr --setmonitor " + monitor + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0)
                return {};
        }
        return display;
    }

private:
    pid_t pid_ = -1;
};

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const QStringList scales = argc > 1 ? QString(argv[1]).split(',') : QStringList{"1", "2"};
    for (const QString& scale : scales)
        gScales.push_back(scale.toDouble());
    if (gScales.size() != 2) {
        printf("usage: %s LEFT,RIGHT (the two monitors' scales)\n", argv[0]);
        return 2;
    }
    OwnXServer server;
    const std::string display = server.Start();
    if (display.empty() || QStandardPaths::findExecutable("xdotool").isEmpty()) {
        printf("SKIPPED: no X server with two monitors (needs Xvfb, xrandr and xdotool)\n");
        return 77;
    }
    qputenv("DISPLAY", display.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("QT_SCALE_FACTOR");
    qputenv("QT_SCREEN_SCALE_FACTORS", scales.join(';').toUtf8());
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
