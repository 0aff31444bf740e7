#include "RunningSite.h"

#include "site/Commands.h"

#include <cstdio>
#include <gtest/gtest.h>

site::SiteConfig TestSiteConfig(const std::string& database) {
    site::SiteConfig config;
    httpserver::ListenAddress where;
    where.port = 0;
    config.listen = {where};
    config.database = database;
    config.workers = 2;
    return config;
}

RunningSite::RunningSite(site::SiteConfig config) {
    std::string error;
    auto store = site::OpenMigrated(config.database, error);
    EXPECT_TRUE(store) << error;
    server_ = std::make_unique<site::SiteServer>(std::move(config));
    if (!server_->Listen(error)) {
        ADD_FAILURE() << error;
        return;
    }
    port_ = server_->Port(0);
    thread_ = std::thread([this] { server_->Run(); });
}

RunningSite::~RunningSite() {
    server_->Stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

std::string RunningSite::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

namespace {

std::string ReadAll(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    std::fclose(f);
    return text;
}

} // namespace

CommandOutput RunSiteCommand(std::vector<std::string> args, const std::string& database) {
    args.push_back("--database");
    args.push_back(database);
    const site::SiteCommand command = site::ParseSiteCommand(args);
    CommandOutput result;
    if (command.action == site::SiteCommand::Action::UsageError) {
        result.status = 2;
        result.err = command.error;
        return result;
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    result.status = site::RunMakerCommand(command, out, err);
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
}
