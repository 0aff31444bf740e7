#pragma once

#include "SiteConfig.h"

#include <string>
#include <vector>

namespace site {

// What the command line asks for: serving, or one of the maker's commands on
// the same database.
struct SiteCommand {
    enum class Action {
        Serve,
        ReleaseAdd,
        ReleaseList,
        FeedbackList,
        FeedbackShow,
        FeedbackDelete,
        Help,
        Version,
        UsageError,
    } action = Action::Serve;
    SiteConfig config;
    std::string adminTokenFile;
    // The maker's commands.
    std::string version, path, prompt, notes;
    std::string since;
    enum class Format { Text, Json, Csv } format = Format::Text;
    std::int64_t id = 0;
    std::string error;
};

// Without --database: $QUILLMATE_SITE_DATABASE, else the packaged service's file.
SiteCommand ParseSiteCommand(const std::vector<std::string>& args);
const char* SiteUsage();
// Reads the admin token; refuses a file others may read, or a short token.
bool ReadAdminToken(const std::string& path, std::string& token, std::string& error);

} // namespace site
