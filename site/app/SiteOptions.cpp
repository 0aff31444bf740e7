#include "SiteOptions.h"

#include "sitestore/Store.h"
#include "siteweb/ClientAddress.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace site {

namespace {

const char* const kDefaultDatabase = "sqlite:/var/lib/quillmate-site/site.sqlite3";

bool ParseCount(const std::string& text, int max, int& out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::atoi(text.c_str());
    return out <= max;
}

bool ParseId(const std::string& text, std::int64_t& out) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::strtoll(text.c_str(), nullptr, 10);
    return out > 0;
}

SiteCommand Usage(SiteCommand c, std::string error) {
    c.action = SiteCommand::Action::UsageError;
    c.error = std::move(error);
    return c;
}

} // namespace

const char* SiteUsage() {
    return R"(Usage:
  quillmate-site [--listen HOST:PORT | --listen unix:PATH]... [--database DB]
                 [--trusted-proxy ADDR]... [--admin-token-file FILE]
                 [--workers N] [--posts-per-minute N] [--posts-per-day N]
  quillmate-site release add VERSION --path URL [--prompt TEXT] [--notes TEXT]
  quillmate-site release list
  quillmate-site feedback list [--since DATE] [--json | --csv]
  quillmate-site feedback show ID [--json]
  quillmate-site feedback delete ID

Serves the version file (/update/quillversion.txt), the feedback form
(/feedback/addinfo.asp), the product page (/translation.htm) and, with an
admin token, the admin page (/admin/). Listens on 127.0.0.1:8080 unless told
otherwise; prints the address of each listener as it starts.

  --database DB         sqlite:PATH or postgresql://USER@HOST/NAME (default:
                        $QUILLMATE_SITE_DATABASE, else
                        sqlite:/var/lib/quillmate-site/site.sqlite3);
                        the commands below take it too
  --trusted-proxy ADDR  a reverse proxy (an IP address, or "unix" for the
                        Unix socket) whose last X-Forwarded-For address is
                        taken as the client's; may be repeated
  --admin-token-file F  opens /admin/ to whoever gives the token in F (at
                        least 16 characters; the file must not be readable
                        by others)
  --workers N           database connections for pages (default 4)
  --posts-per-minute N, --posts-per-day N
                        feedback accepted from one address (default 5 and
                        50; 0: no limit)
  --since DATE          YYYY-MM-DD or YYYY-MM-DD HH:MM[:SS], UTC
)";
}

SiteCommand ParseSiteCommand(const std::vector<std::string>& args) {
    SiteCommand c;
    const char* env = std::getenv("QUILLMATE_SITE_DATABASE");
    c.config.database = env && *env ? env : kDefaultDatabase;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            c.action = SiteCommand::Action::Help;
            return c;
        } else if (a == "--version") {
            c.action = SiteCommand::Action::Version;
            return c;
        } else if (a == "--listen") {
            httpserver::ListenAddress where;
            std::string error;
            if (!value(v))
                return Usage(c, "--listen needs HOST:PORT or unix:PATH");
            if (!httpserver::ParseListenAddress(v, where, error))
                return Usage(c, "--listen " + v + ": " + error);
            c.config.listen.push_back(where);
        } else if (a == "--database") {
            if (!value(c.config.database))
                return Usage(c, "--database needs sqlite:PATH or postgresql://...");
        } else if (a == "--trusted-proxy") {
            if (!value(v))
                return Usage(c, "--trusted-proxy needs an address");
            const std::string normal = v == "unix" ? v : siteweb::NormalAddress(v);
            if (normal.empty())
                return Usage(c, "--trusted-proxy " + v + ": not an IP address");
            c.config.trustedProxies.push_back(normal);
        } else if (a == "--admin-token-file") {
            if (!value(c.adminTokenFile))
                return Usage(c, "--admin-token-file needs a file");
        } else if (a == "--workers" || a == "--posts-per-minute" || a == "--posts-per-day") {
            int n = 0;
            if (!value(v) || !ParseCount(v, a == "--workers" ? 64 : 1'000'000, n) ||
                (a == "--workers" && n < 1))
                return Usage(c, a + " needs a number");
            if (a == "--workers")
                c.config.workers = unsigned(n);
            else if (a == "--posts-per-minute")
                c.config.rate.perMinute = n;
            else
                c.config.rate.perDay = n;
        } else if (a == "--path") {
            if (!value(c.path))
                return Usage(c, "--path needs the download address");
        } else if (a == "--prompt") {
            if (!value(c.prompt))
                return Usage(c, "--prompt needs a text");
        } else if (a == "--notes") {
            if (!value(c.notes))
                return Usage(c, "--notes needs a text");
        } else if (a == "--since") {
            if (!value(c.since))
                return Usage(c, "--since needs a date");
        } else if (a == "--json") {
            c.format = SiteCommand::Format::Json;
        } else if (a == "--csv") {
            c.format = SiteCommand::Format::Csv;
        } else if (a.rfind("--", 0) == 0) {
            return Usage(c, "unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (!sitestore::IsStoreSpec(c.config.database))
        return Usage(c, "--database is sqlite:PATH or postgresql://..., not \"" +
                            c.config.database + "\"");
    const auto is = [&](std::initializer_list<const char*> w) {
        if (words.size() < w.size())
            return false;
        std::size_t i = 0;
        for (const char* word : w)
            if (words[i++] != word)
                return false;
        return true;
    };
    if (words.empty()) {
        c.action = SiteCommand::Action::Serve;
        if (c.config.listen.empty()) {
            httpserver::ListenAddress where;
            where.port = 8080;
            c.config.listen.push_back(where);
        }
    } else if (is({"release", "add"}) && words.size() == 3) {
        c.action = SiteCommand::Action::ReleaseAdd;
        c.version = words[2];
        if (c.path.empty())
            return Usage(c, "release add needs --path URL");
    } else if (is({"release", "list"}) && words.size() == 2) {
        c.action = SiteCommand::Action::ReleaseList;
    } else if (is({"feedback", "list"}) && words.size() == 2) {
        c.action = SiteCommand::Action::FeedbackList;
    } else if ((is({"feedback", "show"}) || is({"feedback", "delete"})) && words.size() == 3) {
        c.action = words[1] == "show" ? SiteCommand::Action::FeedbackShow
                                      : SiteCommand::Action::FeedbackDelete;
        if (!ParseId(words[2], c.id))
            return Usage(c, "a message id is a positive number, not \"" + words[2] + "\"");
    } else {
        std::string all;
        for (const auto& w : words)
            all += (all.empty() ? "" : " ") + w;
        return Usage(c, "unknown command \"" + all + "\"");
    }
    return c;
}

bool ReadAdminToken(const std::string& path, std::string& token, std::string& error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        error = "cannot read the admin token file " + path;
        return false;
    }
    if (st.st_mode & S_IROTH) {
        error = "the admin token file " + path + " is readable by everyone; chmod o-r it";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) {
        error = "cannot read the admin token file " + path;
        return false;
    }
    token = text.str();
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' '))
        token.pop_back();
    if (token.size() < 16) {
        error = "the admin token in " + path + " is shorter than 16 characters";
        return false;
    }
    return true;
}

} // namespace site
