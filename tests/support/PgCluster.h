#pragma once

// A private PostgreSQL cluster for the tests: initdb and pg_ctl on a fresh
// folder, reachable only through a Unix socket in that folder, started once
// per test program and stopped at its end. As root the server runs as the
// "postgres" user, since initdb refuses root.

#include <string>

class PgCluster {
public:
    // The cluster, started on first use; null with the reason in SkipReason()
    // when PostgreSQL is not installed or did not start (Installed() tells which).
    static PgCluster* Get();
    static const std::string& SkipReason();
    static bool Installed();

    // A fresh, empty database: its URI for OpenStore, or empty on failure.
    std::string NewDatabase();
    // Stops and starts the server (the connections of the stores drop).
    bool Restart();

private:
    PgCluster() = default;
    bool Start(std::string& error);
    void Stop();
    std::string Run(const std::string& command, bool& ok) const;

    std::string bin_;
    std::string dir_;
    int port_ = 0;
    int databases_ = 0;
    bool asPostgres_ = false;
    friend struct PgClusterStopper;
};
