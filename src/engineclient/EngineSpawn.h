#pragma once

#include <QString>
#include <QStringList>

struct SpawnedServer {
    QString url;     // the first line the server printed; empty on failure
    qint64 pid = -1; // the server's process
    QString error;
};

// Starts program with arguments as a process of its own session, so it
// outlives this program and serves its later starts. Its standard input holds
// input and then ends (a secret passed there stays off the command line);
// its standard error goes to logPath. Waits at most timeoutMs for the first
// line of its output.
SpawnedServer SpawnDetachedServer(const QString& program, const QStringList& arguments,
                                  const QByteArray& input, const QString& logPath, int timeoutMs);
