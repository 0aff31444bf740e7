#pragma once

#include "base/Endpoints.h"
#include "engineclient/EngineDiscovery.h"

#include <QObject>
#include <QString>
#include <functional>
#include <mutex>
#include <optional>

// The program's way to its local engine. Every look-up runs on a thread of
// the global pool and reports back on the UI thread, so finding or starting
// the engine never freezes a window; one engine serves every window.
class LocalEngine {
public:
    static LocalEngine& Instance();

    // Tests point it at a server program and a folder of their own.
    void Configure(const LocalEngineSettings& settings);
    LocalEngineSettings Settings();

    // Starts the look-up now, so the engine is up when it is needed.
    void Prepare();
    // done(engine) runs on context's thread unless context is gone by then;
    // the engine's URL is empty when none can be had.
    void Acquire(QObject* context, std::function<void(const FoundEngine& engine)> done);

private:
    LocalEngine();
    std::mutex mutex_;
    std::optional<LocalEngineSettings> settings_; // the defaults when not configured
};

// Where a request goes: its URL, and the Unix socket every connection to it
// goes through (empty: the URL's own host).
struct EndpointAddress {
    QString url; // empty when no address can be had
    QString unixSocket;
};

// The endpoint's address for a request: the variable's value at once, or the
// local engine's once it is proven ours and answers.
void ResolveEndpoint(Endpoint endpoint, QObject* context,
                     std::function<void(const EndpointAddress& address)> done);
