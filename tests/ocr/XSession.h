#pragma once

// What the programs that drive a real X server share: waiting with the event
// loop running, windows of known content placed where the test says, and a
// main that runs the tests on QUILL_X_DISPLAY or reports itself skipped.

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <cstdio>
#include <gtest/gtest.h>

// Keeps the event loop turning for ms milliseconds; X needs that to map,
// paint and deliver what xdotool does.
inline void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// A window without decorations that no window manager moves: it stands
// exactly at the geometry the test gives it.
class PlacedWindow : public QWidget {
public:
    PlacedWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) {}
};

// Exit code 77 tells ctest the program was skipped.
inline int RunTestsOnXServer(int argc, char** argv) {
    const QByteArray display = qgetenv("QUILL_X_DISPLAY");
    if (display.isEmpty()) {
        printf("SKIPPED: QUILL_X_DISPLAY is not set; these tests need a real X server\n");
        return 77;
    }
    qputenv("DISPLAY", display);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
