// libcurl is opened on the first call into it rather than when the program
// starts: through its TLS, LDAP and RTMP dependencies it maps some thirty
// libraries and several MB that a session without network use never needs.
// These definitions take the place of libcurl's own entry points and forward
// to the library once it is open.
#define CURL_DISABLE_TYPECHECK
#include <atomic>
#include <cstdarg>
#include <curl/curl.h>
#include <dlfcn.h>
#include <mutex>

#if defined(__clang__)
// libcurl's declarations put an enum before the "...": it is passed as the int it is.
#pragma clang diagnostic ignored "-Wvarargs"
#endif

namespace {

struct CurlApi {
    bool loaded = false;
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_global_cleanup) global_cleanup = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_reset) easy_reset = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_free) free = nullptr;
    decltype(&::curl_share_init) share_init = nullptr;
    decltype(&::curl_share_setopt) share_setopt = nullptr;
    decltype(&::curl_share_cleanup) share_cleanup = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    decltype(&::curl_url) url = nullptr;
    decltype(&::curl_url_cleanup) url_cleanup = nullptr;
    decltype(&::curl_url_set) url_set = nullptr;
    decltype(&::curl_url_get) url_get = nullptr;
};

template <typename F> bool Bind(void* library, const char* name, F& slot) {
    slot = reinterpret_cast<F>(::dlsym(library, name));
    return slot != nullptr;
}

CurlApi Open() {
    CurlApi api;
    // Never closed: worker threads may be inside it until the process ends.
    void* lib = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return api;
    api.loaded = Bind(lib, "curl_global_init", api.global_init) &&
                 Bind(lib, "curl_global_cleanup", api.global_cleanup) &&
                 Bind(lib, "curl_easy_init", api.easy_init) &&
                 Bind(lib, "curl_easy_setopt", api.easy_setopt) &&
                 Bind(lib, "curl_easy_perform", api.easy_perform) &&
                 Bind(lib, "curl_easy_cleanup", api.easy_cleanup) &&
                 Bind(lib, "curl_easy_getinfo", api.easy_getinfo) &&
                 Bind(lib, "curl_easy_reset", api.easy_reset) &&
                 Bind(lib, "curl_easy_strerror", api.easy_strerror) &&
                 Bind(lib, "curl_free", api.free) && Bind(lib, "curl_share_init", api.share_init) &&
                 Bind(lib, "curl_share_setopt", api.share_setopt) &&
                 Bind(lib, "curl_share_cleanup", api.share_cleanup) &&
                 Bind(lib, "curl_slist_append", api.slist_append) &&
                 Bind(lib, "curl_slist_free_all", api.slist_free_all) &&
                 Bind(lib, "curl_url", api.url) && Bind(lib, "curl_url_cleanup", api.url_cleanup) &&
                 Bind(lib, "curl_url_set", api.url_set) && Bind(lib, "curl_url_get", api.url_get);
    return api;
}

// Null when libcurl is missing or too old: every call then fails the way
// libcurl itself fails when it cannot initialise.
const CurlApi* Api() {
    static const CurlApi api = Open();
    return api.loaded ? &api : nullptr;
}

// libcurl takes no options while a transfer runs on the handle, callbacks
// included: calls that would are counted, so tests can hold us to it.
thread_local int t_performing = 0;
std::atomic<int> g_setDuringPerform{0};

} // namespace

int CurlOptionsSetDuringPerform() {
    return g_setDuringPerform.load();
}

extern "C" {

CURLcode curl_global_init(long flags) {
    const CurlApi* api = Api();
    return api ? api->global_init(flags) : CURLE_FAILED_INIT;
}

void curl_global_cleanup(void) {
    if (const CurlApi* api = Api())
        api->global_cleanup();
}

CURL* curl_easy_init(void) {
    const CurlApi* api = Api();
    return api ? api->easy_init() : nullptr;
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    const CurlApi* api = Api();
    if (!api)
        return CURLE_FAILED_INIT;
    if (t_performing > 0)
        ++g_setDuringPerform;
    // The argument's type follows from the option's number, as libcurl reads it.
    va_list args;
    va_start(args, option);
    CURLcode rc;
    if (option < CURLOPTTYPE_OBJECTPOINT)
        rc = api->easy_setopt(handle, option, va_arg(args, long));
    else if (option < CURLOPTTYPE_FUNCTIONPOINT)
        rc = api->easy_setopt(handle, option, va_arg(args, void*));
    else if (option < CURLOPTTYPE_OFF_T)
        rc = api->easy_setopt(handle, option, va_arg(args, void (*)()));
    else if (option < CURLOPTTYPE_BLOB)
        rc = api->easy_setopt(handle, option, va_arg(args, curl_off_t));
    else
        rc = api->easy_setopt(handle, option, va_arg(args, void*));
    va_end(args);
    return rc;
}

CURLcode curl_easy_perform(CURL* handle) {
    const CurlApi* api = Api();
    if (!api)
        return CURLE_FAILED_INIT;
    ++t_performing;
    const CURLcode rc = api->easy_perform(handle);
    --t_performing;
    return rc;
}

void curl_easy_cleanup(CURL* handle) {
    if (const CurlApi* api = Api())
        api->easy_cleanup(handle);
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    const CurlApi* api = Api();
    if (!api)
        return CURLE_FAILED_INIT;
    // Every query takes a pointer to its result.
    va_list args;
    va_start(args, info);
    const CURLcode rc = api->easy_getinfo(handle, info, va_arg(args, void*));
    va_end(args);
    return rc;
}

void curl_easy_reset(CURL* handle) {
    if (const CurlApi* api = Api())
        api->easy_reset(handle);
}

const char* curl_easy_strerror(CURLcode code) {
    const CurlApi* api = Api();
    return api ? api->easy_strerror(code) : "libcurl could not be loaded";
}

void curl_free(void* p) {
    if (const CurlApi* api = Api())
        api->free(p);
}

CURLSH* curl_share_init(void) {
    const CurlApi* api = Api();
    return api ? api->share_init() : nullptr;
}

CURLSHcode curl_share_setopt(CURLSH* share, CURLSHoption option, ...) {
    const CurlApi* api = Api();
    if (!api)
        return CURLSHE_NOT_BUILT_IN;
    va_list args;
    va_start(args, option);
    CURLSHcode rc;
    switch (option) {
    case CURLSHOPT_SHARE:
    case CURLSHOPT_UNSHARE:
        rc = api->share_setopt(share, option, va_arg(args, int));
        break;
    case CURLSHOPT_LOCKFUNC:
    case CURLSHOPT_UNLOCKFUNC:
        rc = api->share_setopt(share, option, va_arg(args, void (*)()));
        break;
    default:
        rc = api->share_setopt(share, option, va_arg(args, void*));
        break;
    }
    va_end(args);
    return rc;
}

CURLSHcode curl_share_cleanup(CURLSH* share) {
    const CurlApi* api = Api();
    return api ? api->share_cleanup(share) : CURLSHE_INVALID;
}

curl_slist* curl_slist_append(curl_slist* list, const char* line) {
    const CurlApi* api = Api();
    return api ? api->slist_append(list, line) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (const CurlApi* api = Api())
        api->slist_free_all(list);
}

CURLU* curl_url(void) {
    const CurlApi* api = Api();
    return api ? api->url() : nullptr;
}

void curl_url_cleanup(CURLU* url) {
    if (const CurlApi* api = Api())
        api->url_cleanup(url);
}

CURLUcode curl_url_set(CURLU* url, CURLUPart what, const char* part, unsigned int flags) {
    const CurlApi* api = Api();
    return api ? api->url_set(url, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_get(CURLU* url, CURLUPart what, char** part, unsigned int flags) {
    const CurlApi* api = Api();
    return api ? api->url_get(url, what, part, flags) : CURLUE_OUT_OF_MEMORY;
}

} // extern "C"
