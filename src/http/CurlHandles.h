#pragma once

#include <curl/curl.h>
#include <utility>

// Move-only owners of libcurl resources.
class CurlEasy {
public:
    CurlEasy() : handle_(curl_easy_init()) {}
    ~CurlEasy() {
        if (handle_)
            curl_easy_cleanup(handle_);
    }
    CurlEasy(CurlEasy&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CurlEasy& operator=(CurlEasy&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;

    CURL* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    CURL* handle_;
};

class CurlSlist {
public:
    CurlSlist() = default;
    ~CurlSlist() { curl_slist_free_all(list_); }
    CurlSlist(CurlSlist&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
    CurlSlist& operator=(CurlSlist&& other) noexcept {
        std::swap(list_, other.list_);
        return *this;
    }
    CurlSlist(const CurlSlist&) = delete;
    CurlSlist& operator=(const CurlSlist&) = delete;

    bool Append(const char* line) {
        curl_slist* grown = curl_slist_append(list_, line);
        if (!grown)
            return false;
        list_ = grown;
        return true;
    }
    curl_slist* get() const { return list_; }

private:
    curl_slist* list_ = nullptr;
};

class CurlUrl {
public:
    CurlUrl() : handle_(curl_url()) {}
    ~CurlUrl() {
        if (handle_)
            curl_url_cleanup(handle_);
    }
    CurlUrl(CurlUrl&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    CurlUrl& operator=(CurlUrl&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    CurlUrl(const CurlUrl&) = delete;
    CurlUrl& operator=(const CurlUrl&) = delete;

    CURLU* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    CURLU* handle_;
};

// Options set on a handle while curl_easy_perform ran on this thread (from a
// callback), in the whole process; libcurl does not allow it.
int CurlOptionsSetDuringPerform();

// curl_global_init, once, on the calling (UI) thread before any worker runs.
void EnsureCurlGlobal();
// The cookie store shared by every component that keeps cookies.
CURLSH* SharedCookieStore();
