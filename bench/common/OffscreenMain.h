#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <benchmark/benchmark.h>

// The main of a benchmark program that needs a Qt application of type App
// (widgets, or text rendering): offscreen unless the caller chose a platform,
// so it runs without a display.
template <class App> int RunBenchmarksOffscreen(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
