#pragma once

#include "base/Endpoints.h"
#include "engineclient/EngineDiscovery.h"

#include <QObject>
#include <QString>
#include <functional>
#include <mutex>

// The program's way to its local engine. Every look-up runs on a thread of
// the global pool and reports back on the UI thread, so finding or starting
// the engine never freezes a window; one engine serves every window.
class LocalEngine {
public:
    static LocalEngine& Instance();

    // Tests point it at a server program and a folder of their own.
    void Configure(const EngineSettings& settings);
    EngineSettings Settings();

    // Starts the look-up now, so the engine is up when it is needed.
    void Prepare();
    // done(baseUrl) runs on context's thread unless context is gone by then;
    // the URL is empty when no engine can be had.
    void Acquire(QObject* context, std::function<void(const QString& baseUrl)> done);

private:
    LocalEngine();
    std::mutex mutex_;
    EngineSettings settings_;
};

// The endpoint's URL for a request: the variable's value at once, or the
// local engine's address once it answers (empty when it cannot be had).
void ResolveEndpoint(Endpoint endpoint, QObject* context,
                     std::function<void(const QString& url)> done);
