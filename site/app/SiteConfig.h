#pragma once

#include "httpserver/Limits.h"
#include "httpserver/ListenAddress.h"
#include "sitestore/Records.h"

#include <chrono>
#include <string>
#include <vector>

namespace site {

struct SiteConfig {
    std::vector<httpserver::ListenAddress> listen;
    std::string database;
    // Connections from these addresses ("unix": the Unix socket) name the
    // client in X-Forwarded-For.
    std::vector<std::string> trustedProxies;
    std::string adminToken; // empty: no admin page
    unsigned workers = 4;
    sitestore::RateLimit rate;
    // How long a server serves the releases it read before reading them again.
    std::chrono::milliseconds releaseMaxAge{1000};
    httpserver::Limits limits = DefaultLimits();

    static httpserver::Limits DefaultLimits() {
        httpserver::Limits limits;
        limits.ioThreads = 2;
        // Nothing we take is larger than a feedback form.
        limits.maxBodyBytes = 128 * 1024;
        limits.bodyBudgetBytes = 64u << 20;
        limits.maxConnectionsPerClient = 32;
        return limits;
    }
};

} // namespace site
