#include "engineclient/LocalEngine.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

namespace {

// One look-up at a time in this process; the folder lock orders processes.
std::mutex& DiscoveryMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

LocalEngine& LocalEngine::Instance() {
    static LocalEngine engine;
    return engine;
}

LocalEngine::LocalEngine() = default;

void LocalEngine::Configure(const LocalEngineSettings& settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
}

LocalEngineSettings LocalEngine::Settings() {
    {
        std::lock_guard lock(mutex_);
        if (settings_)
            return *settings_;
    }
    // Found at each look-up, as the endpoints are: the environment decides.
    LocalEngineSettings defaults;
    defaults.program = DefaultServerProgram();
    defaults.runtimeFolder = DefaultRuntimeFolder();
    return defaults;
}

void LocalEngine::Prepare() {
    Acquire(nullptr, nullptr);
}

void LocalEngine::Acquire(QObject* context, std::function<void(const FoundEngine&)> done) {
    const LocalEngineSettings settings = Settings();
    // Checked on the UI thread only, where the context lives and dies.
    QPointer<QObject> guard(context);
    QThreadPool::globalInstance()->start([settings, guard, done = std::move(done)] {
        FoundEngine engine;
        {
            std::lock_guard lock(DiscoveryMutex());
            engine = FindOrStartEngine(settings);
        }
        if (!done)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done, engine] {
                if (guard)
                    done(engine);
            },
            Qt::QueuedConnection);
    });
}

void ResolveEndpoint(Endpoint endpoint, QObject* context,
                     std::function<void(const EndpointAddress&)> done) {
    if (!UsesLocalEngine(endpoint)) {
        done({EndpointUrl(endpoint), QString()});
        return;
    }
    const QString path = LocalEnginePath(endpoint);
    LocalEngine::Instance().Acquire(context,
                                    [path, done = std::move(done)](const FoundEngine& engine) {
                                        if (engine.baseUrl.isEmpty())
                                            done({});
                                        else
                                            done({engine.baseUrl + path, engine.socketPath});
                                    });
}
