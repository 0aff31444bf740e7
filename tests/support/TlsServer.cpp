#include "TlsServer.h"

#include "LoopbackListen.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool added = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return added;
}

// A self-signed certificate for the loopback names, valid for a day; also its
// own CA, so trusting the file is all a client needs.
X509* MakeCertificate(EVP_PKEY* key) {
    X509* cert = X509_new();
    if (!cert)
        return nullptr;
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    const bool ok = AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE") &&
                    AddExtension(cert, NID_key_usage, "critical,keyCertSign,digitalSignature") &&
                    AddExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
                    X509_sign(cert, key, EVP_sha256()) > 0;
    if (!ok) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool WritePem(const QString& path, X509* cert) {
    FILE* f = std::fopen(path.toLocal8Bit().constData(), "w");
    if (!f)
        return false;
    const bool ok = PEM_write_X509(f, cert) == 1;
    return std::fclose(f) == 0 && ok;
}

} // namespace

TlsServer::TlsServer() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509* cert = key ? MakeCertificate(key) : nullptr;
    SSL_CTX* ctx = cert ? SSL_CTX_new(TLS_server_method()) : nullptr;
    if (ctx && (SSL_CTX_use_certificate(ctx, cert) != 1 || SSL_CTX_use_PrivateKey(ctx, key) != 1 ||
                !WritePem(caFile(), cert))) {
        SSL_CTX_free(ctx);
        ctx = nullptr;
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    ctx_ = ctx;

    listenFd_ = ListenOnLoopback(port_, 64);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

TlsServer::~TlsServer() {
    {
        std::lock_guard lk(m_);
        stopping_ = true;
        for (int fd : openFds_)
            ::shutdown(fd, SHUT_RDWR);
    }
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
    {
        std::unique_lock lk(m_);
        cv_.wait(lk, [&] { return active_ == 0; });
    }
    SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

QString TlsServer::url(const QString& path) const {
    return QStringLiteral("https://127.0.0.1:%1%2").arg(port_).arg(path);
}

void TlsServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lk(m_);
        if (fd < 0) {
            if (!stopping_ && (errno == EINTR || errno == ECONNABORTED))
                continue;
            return;
        }
        if (stopping_ || !ctx_) {
            ::close(fd);
            if (stopping_)
                return;
            continue;
        }
        openFds_.push_back(fd);
        ++active_;
        std::thread([this, fd] { serve(fd); }).detach();
    }
}

// Handshake, then plain bytes to and from the responder until either side is
// done. Blocking I/O: a TLS record that has begun to arrive completes quickly.
void TlsServer::serve(int fd) {
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    int plain = -1;
    if (ssl && SSL_set_fd(ssl, fd) == 1 && SSL_accept(ssl) == 1) {
        plain = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(backend_.port());
        if (::connect(plain, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(plain);
            plain = -1;
        }
    }
    if (plain >= 0) {
        {
            std::lock_guard lk(m_);
            openFds_.push_back(plain);
        }
        char chunk[16384];
        bool clientOpen = true;
        for (;;) {
            if (SSL_pending(ssl) == 0) {
                pollfd p[2] = {{fd, static_cast<short>(clientOpen ? POLLIN : 0), 0},
                               {plain, POLLIN, 0}};
                if (::poll(p, 2, -1) < 0 && errno != EINTR)
                    break;
                if (p[1].revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = ::recv(plain, chunk, sizeof chunk, 0);
                    if (n <= 0)
                        break; // the responder is done: so is the answer
                    if (SSL_write(ssl, chunk, static_cast<int>(n)) <= 0)
                        break;
                }
                if (!(clientOpen && (p[0].revents & (POLLIN | POLLHUP | POLLERR))))
                    continue;
            }
            const int n = SSL_read(ssl, chunk, sizeof chunk);
            if (n <= 0) {
                clientOpen = false;
                ::shutdown(plain, SHUT_WR);
            } else if (!SendAll(plain, chunk, n)) {
                break;
            }
        }
        SSL_shutdown(ssl);
        std::lock_guard lk(m_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), plain), openFds_.end());
        ::close(plain);
    }
    SSL_free(ssl);
    std::lock_guard lk(m_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
    --active_;
    cv_.notify_all();
}
