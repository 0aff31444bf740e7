#pragma once

#include "LoopbackServer.h"

#include <QString>
#include <QTemporaryDir>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// HTTPS on 127.0.0.1 for tests: TLS in front of a LoopbackServer, so every
// script of the responder also runs over TLS. The certificate is a throwaway
// self-signed one for 127.0.0.1 and localhost, made with the server; a client
// trusts it by taking caFile() as its CA bundle. Links OpenSSL (libssl).
class TlsServer {
public:
    TlsServer();
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    // False when OpenSSL could not make the certificate or the context.
    bool ok() const { return ctx_ != nullptr; }
    uint16_t port() const { return port_; }
    // "https://127.0.0.1:<port>" followed by path.
    QString url(const QString& path = QStringLiteral("/")) const;
    // PEM file of the certificate, to be trusted as a CA.
    QString caFile() const { return dir_.path() + "/ca.pem"; }
    // The responder behind the TLS layer: scripts, recorded requests.
    LoopbackServer& backend() { return backend_; }

private:
    void acceptLoop();
    void serve(int fd);

    LoopbackServer backend_;
    QTemporaryDir dir_;
    void* ctx_ = nullptr; // SSL_CTX, kept out of this header
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread acceptThread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool stopping_ = false;
    int active_ = 0;
    std::vector<int> openFds_;
};
