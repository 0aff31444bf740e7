// Which header block is the answer, and what a "file" URL may name.
#include "ConnectProxy.h"
#include "HttpTestUtil.h"
#include "LoopbackServer.h"
#include "TempHome.h"
#include "TlsServer.h"

#include <QFile>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>

namespace {

// What OnHeaderInfo saw, one entry per call: status line, type, length.
struct HeaderInfoLog {
    QStringList seen;
    explicit HeaderInfoLog(TauHTTP& http) {
        http.OnHeaderInfo = [this](QObject*, const QString& raw, const QString& type,
                                   const QString&, const QString&, const QString&, int length,
                                   double, double, double, bool&) {
            seen << QStringLiteral("%1|%2|%3").arg(raw.section("\r\n", 0, 0), type).arg(length);
        };
    }
};

TEST(HttpAnswer, HttpsThroughAConnectProxyTakesTheAnswerNotTheTunnel) {
    TempHome home;
    TlsServer origin;
    ASSERT_TRUE(origin.ok());
    origin.backend().setDefault(
        LoopbackScript::Reply(200, "secret", {{"Content-Type", "text/x-final"}}));
    ConnectProxy proxy;
    // A tunnel answer with headers of its own, which are none of the answer's.
    proxy.setTunnelHeaders(
        {"Proxy-Agent: test", "Content-Type: text/x-proxy", "Content-Length: 0"});
    ScopedEnv ca("CURL_CA_BUNDLE", origin.caFile().toUtf8());
    ScopedEnv noProxy("no_proxy", "");
    for (bool fromEnvironment : {false, true}) {
        SCOPED_TRACE(fromEnvironment ? "https_proxy" : "atUseProxy");
        ScopedEnv env("https_proxy", fromEnvironment ? proxy.url().toUtf8() : QByteArray());
        TauHTTP http;
        EventLog log(http);
        HeaderInfoLog info(http);
        http.URL = origin.url("/doc");
        http.OutputFileName = home.path() + "/doc.bin";
        http.Proxy.AccessType = fromEnvironment ? atPreconfig : atUseProxy;
        http.Proxy.ProxyServer = "127.0.0.1";
        http.Proxy.ProxyPort = proxy.port();
        http.Proxy.ProxyBypass = "";
        const size_t tunnels = proxy.tunnelCount();
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait(10000));
        EXPECT_EQ(log.events, QStringList({"Done(6)"}));
        EXPECT_EQ(info.seen, QStringList({"HTTP/1.1 200 OK|text/x-final|6"}));
        EXPECT_EQ(http.StatusCode, 200);
        EXPECT_EQ(http.ContentType, "text/x-final");
        QFile file(http.OutputFileName);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)); // a length was announced: the file
        EXPECT_EQ(file.readAll(), "secret");
        EXPECT_EQ(proxy.tunnelCount(), tunnels + 1);
        EXPECT_TRUE(proxy.heads().back().startsWith("CONNECT 127.0.0.1:"));
    }
}

TEST(HttpAnswer, ProxyAuthenticationOfATunnel) {
    TlsServer origin;
    ASSERT_TRUE(origin.ok());
    origin.backend().setDefault(LoopbackScript::Text("inside"));
    ConnectProxy proxy;
    proxy.queueRefusal("HTTP/1.1 407 Proxy Authentication Required\r\n"
                       "Proxy-Authenticate: Basic realm=\"p\"\r\nContent-Length: 0\r\n\r\n");
    ScopedEnv ca("CURL_CA_BUNDLE", origin.caFile().toUtf8());
    TauHTTP http;
    EventLog log(http);
    http.URL = origin.url("/");
    http.Proxy.AccessType = atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = proxy.port();
    http.Proxy.ProxyBypass = "";
    http.OnProxyAuthenticationRequest = [](QObject*, QString& user, QString& pass, bool& again) {
        user = "pu";
        pass = "pp";
        again = true;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait(10000));
    EXPECT_EQ(log.events, QStringList({"Done(6)"}));
    ASSERT_EQ(proxy.heads().size(), 2u);
    EXPECT_TRUE(
        proxy.heads()[1].contains("Proxy-Authorization: Basic " + QByteArray("pu:pp").toBase64()));
}

TEST(HttpAnswer, EveryFollowedRedirectIsPassedOver) {
    LoopbackServer server;
    server.on("/final", LoopbackScript::Text("final", "text/x-final"));
    for (int status : {301, 300, 305, 306, 399}) {
        SCOPED_TRACE(status);
        const QByteArray path = "/r" + QByteArray::number(status);
        server.on(path, LoopbackScript::Reply(status, "moved", {{"Location", "/final"}}));
        TauHTTP http;
        EventLog log(http);
        HeaderInfoLog info(http);
        QStringList redirects;
        std::mutex m; // raised on the worker
        http.OnRedirected = [&](QObject*, const QString& url) {
            std::lock_guard lk(m);
            redirects << url;
        };
        http.URL = server.url(QString::fromLatin1(path));
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"Done(5)"}));
        EXPECT_EQ(log.body, "final");
        EXPECT_EQ(info.seen, QStringList({"HTTP/1.1 200 OK|text/x-final|5"}));
        std::lock_guard lk(m);
        EXPECT_EQ(redirects, QStringList({server.url("/final")}));
    }
}

TEST(HttpAnswer, FileUrlReadsRegularFilesOnly) {
    TempHome home;
    const QString dir = home.path();
    QFile secret(dir + "/secret");
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("do not serve");
    secret.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo").constData(), 0600), 0);
    struct Case {
        const char* name;
        QString url;
    } cases[] = {
        {"a zero byte cutting the name short", "file://" + dir + "/secret%00.txt"},
        {"a FIFO nobody writes to", "file://" + dir + "/fifo"},
        {"a device", "file:///dev/null"},
        {"a folder", "file://" + dir},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TauHTTP http;
        EventLog log(http);
        http.URL = c.url;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"AnyError", "HTTPError(404)"}));
        EXPECT_FALSE(http.IsBusy());
    }
}

} // namespace
