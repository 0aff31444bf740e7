#pragma once

// The site served from this test process on a free loopback port, and the
// maker's commands run as the program runs them.

#include "site/SiteServer.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

site::SiteConfig TestSiteConfig(const std::string& database);

class RunningSite {
public:
    explicit RunningSite(site::SiteConfig config);
    ~RunningSite();
    RunningSite(const RunningSite&) = delete;
    RunningSite& operator=(const RunningSite&) = delete;

    bool Listening() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;

private:
    std::unique_ptr<site::SiteServer> server_;
    std::thread thread_;
    int port_ = 0;
};

struct CommandOutput {
    int status = -1;
    std::string out;
    std::string err;
};
// quillmate-site with these arguments (a maker's command), on this database.
CommandOutput RunSiteCommand(std::vector<std::string> args, const std::string& database);
