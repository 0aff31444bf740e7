// libsecret (and through it GIO and libgcrypt) is opened on the first call
// rather than when the window starts: most sessions never touch a key.
// Qt's keyword macros are off in this target: they would rewrite GLib's headers.
#include "keyring/SecretService.h"

#include <dlfcn.h>
#include <libsecret/secret.h>
#include <mutex>

namespace {

struct SecretApi {
    bool loaded = false;
    decltype(&::secret_password_store_sync) store = nullptr;
    decltype(&::secret_password_lookup_sync) lookup = nullptr;
    decltype(&::secret_password_clear_sync) clear = nullptr;
    decltype(&::secret_password_free) free = nullptr;
    decltype(&::g_error_free) errorFree = nullptr;
    decltype(&::secret_service_disconnect) disconnect = nullptr;
};

template <typename F> bool Bind(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(::dlsym(library, name));
    return slot != nullptr;
}

SecretApi Open() {
    SecretApi api;
    // Never closed: GLib keeps threads and types of it until the process ends.
    void* lib = ::dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return api;
    api.loaded = Bind(lib, "secret_password_store_sync", api.store) &&
                 Bind(lib, "secret_password_lookup_sync", api.lookup) &&
                 Bind(lib, "secret_password_clear_sync", api.clear) &&
                 Bind(lib, "secret_password_free", api.free) &&
                 Bind(lib, "g_error_free", api.errorFree) &&
                 Bind(lib, "secret_service_disconnect", api.disconnect);
    return api;
}

const SecretApi* Api() {
    static const SecretApi api = Open();
    return api.loaded ? &api : nullptr;
}

// One attribute, the settings value's name, under the program's own schema.
const SecretSchema kSchema = {
    "net.quillmate.Quillmate.EngineKey",
    SECRET_SCHEMA_NONE,
    {{"setting", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

// libsecret's synchronous calls each run a main loop of their own; one at a
// time keeps two workers from waiting on each other's D-Bus replies.
std::mutex& CallLock() {
    static std::mutex lock;
    return lock;
}

// libsecret keeps its connection to the service for the whole process: after
// a failure it is dropped, so a service that starts later is found.
bool Failed(const SecretApi& api, GError* error) {
    if (!error)
        return false;
    api.errorFree(error);
    api.disconnect();
    return true;
}

} // namespace

namespace secretservice {

std::optional<QString> Lookup(const QString& name) {
    const SecretApi* api = Api();
    if (!api)
        return std::nullopt;
    const std::lock_guard lock(CallLock());
    const QByteArray attribute = name.toUtf8();
    GError* error = nullptr;
    gchar* secret = api->lookup(&kSchema, nullptr, &error, "setting", attribute.constData(),
                                static_cast<const char*>(nullptr));
    if (Failed(*api, error)) {
        if (secret)
            api->free(secret);
        return std::nullopt;
    }
    if (!secret)
        return QString();
    QString value = QString::fromUtf8(secret);
    api->free(secret); // wipes it first
    return value;
}

bool Store(const QString& name, const QString& secret) {
    const SecretApi* api = Api();
    if (!api)
        return false;
    const std::lock_guard lock(CallLock());
    const QByteArray attribute = name.toUtf8();
    QByteArray bytes = secret.toUtf8();
    const QByteArray label = "Quillmate: " + attribute;
    GError* error = nullptr;
    const gboolean stored = api->store(&kSchema, SECRET_COLLECTION_DEFAULT, label.constData(),
                                       bytes.constData(), nullptr, &error, "setting",
                                       attribute.constData(), static_cast<const char*>(nullptr));
    bytes.fill('\0');
    return !Failed(*api, error) && stored;
}

bool Clear(const QString& name) {
    const SecretApi* api = Api();
    if (!api)
        return false;
    const std::lock_guard lock(CallLock());
    const QByteArray attribute = name.toUtf8();
    GError* error = nullptr;
    api->clear(&kSchema, nullptr, &error, "setting", attribute.constData(),
               static_cast<const char*>(nullptr));
    return !Failed(*api, error);
}

} // namespace secretservice
