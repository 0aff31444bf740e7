#pragma once

#include "sitestore/Store.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace site {

// The version file and the product page as last built from the releases.
// Every site server reads the releases again once its copy is older than
// maxAge, so a release published on one database reaches all of them.
class ReleaseCache {
public:
    struct Document {
        std::string body;
        std::string etag; // quoted, as sent
    };
    struct Snapshot {
        bool hasRelease = false;
        Document versionFile;
        Document productPage;
        std::chrono::steady_clock::time_point built;
    };

    explicit ReleaseCache(std::chrono::milliseconds maxAge) : maxAge_(maxAge) {}

    // The current snapshot while it is fresh, else null.
    std::shared_ptr<const Snapshot> Fresh() const;
    // Builds a new snapshot from the database unless another thread just did.
    std::shared_ptr<const Snapshot> Refresh(sitestore::Store& store, std::string& error);

private:
    const std::chrono::milliseconds maxAge_;
    mutable std::mutex mutex_;
    std::shared_ptr<const Snapshot> current_;
};

} // namespace site
