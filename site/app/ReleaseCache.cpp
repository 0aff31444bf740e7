#include "ReleaseCache.h"

#include "siteweb/ProductPage.h"
#include "siteweb/Releases.h"
#include "siteweb/VersionFile.h"

#include <openssl/evp.h>

namespace site {

namespace {

// A strong validator from the bytes themselves, equal on every server.
std::string Etag(const std::string& body) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(body.data(), body.size(), digest, &size, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string tag = "\"";
    for (unsigned int i = 0; i < 12 && i < size; ++i) {
        tag += kHex[digest[i] >> 4];
        tag += kHex[digest[i] & 15];
    }
    return tag + "\"";
}

} // namespace

std::shared_ptr<const ReleaseCache::Snapshot> ReleaseCache::Fresh() const {
    std::lock_guard lock(mutex_);
    if (current_ && std::chrono::steady_clock::now() - current_->built < maxAge_)
        return current_;
    return nullptr;
}

std::shared_ptr<const ReleaseCache::Snapshot> ReleaseCache::Refresh(sitestore::Store& store,
                                                                    std::string& error) {
    if (auto fresh = Fresh())
        return fresh;
    std::vector<sitestore::Release> releases;
    if (!store.ListReleases(releases, error))
        return nullptr;
    auto snapshot = std::make_shared<Snapshot>();
    if (const sitestore::Release* newest = siteweb::NewestRelease(releases)) {
        snapshot->hasRelease = true;
        snapshot->versionFile.body = siteweb::VersionFileText(*newest);
        snapshot->versionFile.etag = Etag(snapshot->versionFile.body);
    }
    snapshot->productPage.body = siteweb::ProductPageHtml(releases);
    snapshot->productPage.etag = Etag(snapshot->productPage.body);
    snapshot->built = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    current_ = snapshot;
    return current_;
}

} // namespace site
