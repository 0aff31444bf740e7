#include "http/CurlHandles.h"

#include <mutex>

namespace {

std::mutex g_shareLocks[CURL_LOCK_DATA_LAST];

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void*) {
    g_shareLocks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void*) {
    g_shareLocks[data].unlock();
}

} // namespace

void EnsureCurlGlobal() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        SharedCookieStore();
    });
}

CURLSH* SharedCookieStore() {
    // Lives for the whole process: detached workers may still hold it at exit.
    static CURLSH* share = [] {
        CURLSH* s = curl_share_init();
        if (s) {
            curl_share_setopt(s, CURLSHOPT_LOCKFUNC, LockShare);
            curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, UnlockShare);
            curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        }
        return s;
    }();
    return share;
}
