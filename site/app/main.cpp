// quillmate-site: the maker's web site and the maker's commands on its database.
#include "Commands.h"
#include "SiteServer.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    site::SiteCommand command = site::ParseSiteCommand({argv + 1, argv + argc});
    switch (command.action) {
    case site::SiteCommand::Action::Help:
        std::fputs(site::SiteUsage(), stdout);
        return 0;
    case site::SiteCommand::Action::Version:
        std::puts("quillmate-site 8.0");
        return 0;
    case site::SiteCommand::Action::UsageError:
        std::fprintf(stderr, "quillmate-site: %s\n\n%s", command.error.c_str(), site::SiteUsage());
        return 2;
    case site::SiteCommand::Action::Serve:
        break;
    default:
        return site::RunMakerCommand(command, stdout, stderr);
    }

    std::string error;
    if (!command.adminTokenFile.empty() &&
        !site::ReadAdminToken(command.adminTokenFile, command.config.adminToken, error)) {
        std::fprintf(stderr, "quillmate-site: %s\n", error.c_str());
        return 2;
    }
    if (!site::OpenMigrated(command.config.database, error)) {
        std::fprintf(stderr, "quillmate-site: %s\n", error.c_str());
        return 1;
    }
    // A client that goes away mid-answer must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
    site::SiteServer server(command.config);
    // Before the address goes out: whoever reads it may stop us at once.
    server.StopOnSignals({SIGTERM, SIGINT});
    if (!server.Listen(error)) {
        std::fprintf(stderr, "quillmate-site: %s\n", error.c_str());
        return 1;
    }
    for (std::size_t i = 0; i < command.config.listen.size(); ++i) {
        const auto& where = command.config.listen[i];
        if (where.kind == httpserver::ListenAddress::Kind::Unix)
            std::printf("unix:%s\n", where.path.c_str());
        else if (where.host.find(':') != std::string::npos)
            std::printf("http://[%s]:%d/\n", where.host.c_str(), server.Port(i));
        else
            std::printf("http://%s:%d/\n", where.host.c_str(), server.Port(i));
    }
    std::fflush(stdout);
    server.Run();
    return 0;
}
