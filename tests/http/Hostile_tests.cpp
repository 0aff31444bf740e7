// Servers that lie, stall, break off or never stop: each scenario ends in its
// event within a bounded time and leaves the component idle.
#include "ConnectProxy.h"
#include "HttpTestUtil.h"
#include "LoopbackServer.h"

#include <cctype>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct Scenario {
    const char* name;
    std::function<void(LoopbackServer&, ConnectProxy&, TauHTTP&, EventLog&)> arrange;
    QStringList expected;
};

LoopbackScript Answer(const QByteArray& bytes) {
    return LoopbackScript::Raw(bytes);
}

void Serve(LoopbackServer& server, TauHTTP& http, const LoopbackScript& script) {
    server.setDefault(script);
    http.URL = server.url("/hostile");
}

QByteArray HeaderLines(int count, int width) {
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "X-" + QByteArray::number(i) + ": " + QByteArray(width, 'v') + "\r\n";
    return lines;
}

std::vector<Scenario> Scenarios() {
    using S = LoopbackServer;
    using P = ConnectProxy;
    return {
        {"length longer than the body",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(
                 s, h,
                 Answer("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + QByteArray(600, 'a')));
         },
         {"AnyError", "ConnLost(1000,600)"}},
        {"body longer than the length",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + QByteArray(900, 'a')));
         },
         {"Done(10)"}},
        {"chunked with a length",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(
                 s, h,
                 Answer(
                     "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n"
                     "3\r\nabc\r\n0\r\n\r\n"));
         },
         {"Done(3)"}},
        {"header line of 1 MB",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nX-Big: " + QByteArray(1 << 20, 'x') + "\r\n\r\n"));
         },
         {"AnyError", "HostUnreachable"}},
        {"10,000 header lines",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h, Answer("HTTP/1.1 200 OK\r\n" + HeaderLines(10000, 20) + "\r\nok"));
         },
         {"AnyError", "HostUnreachable"}},
        {"header block over 64 KB",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\n" + HeaderLines(2000, 40) +
                          "Content-Length: 2\r\n\r\nok"));
         },
         {"AnyError", "HostUnreachable"}},
        {"zero byte in a header", // libcurl refuses the answer before we see it
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer(QByteArray(
                       "HTTP/1.1 200 OK\r\nX-Nul: a\0b\r\nContent-Length: 2\r\n\r\nok", 50)));
         },
         {"AnyError", "HostUnreachable"}},
        {"silent server",
         [](S& s, P&, TauHTTP& h, EventLog&) { Serve(s, h, LoopbackScript::NeverAnswer()); },
         {"AnyError", "HostUnreachable"}},
        {"silence inside the body",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h, Answer("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab").hang());
         },
         {"AnyError", "ConnLost(10,2)"}},
        {"silence inside a chunked body",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n")
                       .hang());
         },
         {"AnyError", "ConnLost(0,3)"}},
        {"one byte a second is no silence",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n")
                       .then("a", 1000)
                       .then("b", 1000)
                       .then("c", 1000));
         },
         {"Done(3)"}},
        {"reset inside the body",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789")
                       .then("", 100)
                       .resetAfter());
         },
         {"AnyError", "ConnLost(100,10)"}},
        {"reset inside a chunked body",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n")
                       .then("", 100)
                       .resetAfter());
         },
         {"AnyError", "ConnLost(0,3)"}},
        {"trailer after a chunked body",
         [](S& s, P&, TauHTTP& h, EventLog& log) {
             Serve(s, h,
                   Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                          "3\r\nabc\r\n0\r\nX-Trailer: late\r\n\r\n"));
             h.OnHeaderInfo = [&log](QObject*, const QString& raw, const QString&, const QString&,
                                     const QString&, const QString&, int, double, double, double,
                                     bool&) {
                 log.events << "HeaderInfo:" + raw.section("\r\n", 0, 0);
             };
         },
         {"HeaderInfo:HTTP/1.1 200 OK", "Done(3)"}},
        {"redirect loop",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             Serve(s, h, LoopbackScript::Reply(302, "", {{"Location", "/hostile"}}));
         },
         {"AnyError", "HostUnreachable"}},
        {"401 loop",
         [](S& s, P&, TauHTTP& h, EventLog& log) {
             Serve(s, h,
                   LoopbackScript::Reply(401, "no", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
             h.OnPasswordRequest = [&log](QObject*, const QString&, bool& again) {
                 log.events << "Ask:realm";
                 again = log.events.size() < 5; // the handler gives up after five asks
             };
         },
         {"Ask:realm", "Ask:realm", "Ask:realm", "Ask:realm", "Ask:realm", "AnyError",
          "HTTPError(401)"}},
        {"CONNECT refused",
         [](S&, P& p, TauHTTP& h, EventLog&) {
             p.setRefusal("HTTP/1.1 403 Forbidden\r\nContent-Length: 7\r\n\r\nrefused");
             h.URL = "https://127.0.0.1:9/x";
             h.Proxy.AccessType = atUseProxy;
             h.Proxy.ProxyServer = "127.0.0.1";
             h.Proxy.ProxyPort = p.port();
             h.Proxy.ProxyBypass = "";
         },
         {"AnyError", "HTTPError(403)"}},
        {"TLS handshake that never finishes",
         [](S& s, P&, TauHTTP& h, EventLog&) {
             s.setDefault(LoopbackScript::NeverAnswer());
             h.URL = QStringLiteral("https://127.0.0.1:%1/").arg(s.port());
         },
         {"AnyError", "HostUnreachable"}},
    };
}

class HttpHostile : public ::testing::TestWithParam<int> {};

TEST_P(HttpHostile, EndsInItsEventAndLeavesTheComponentIdle) {
    const Scenario scenario = Scenarios()[GetParam()];
    SCOPED_TRACE(scenario.name);
    ScopedLimits limits(1500, 1500);
    LoopbackServer server;
    ConnectProxy proxy;
    TauHTTP http;
    EventLog log(http);
    scenario.arrange(server, proxy, http, log);
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait(10000)) << log.events.join(' ').toStdString();
    SpinFor(20);
    EXPECT_EQ(log.events, scenario.expected);
    EXPECT_FALSE(http.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, HttpHostile,
                         ::testing::Range(0, static_cast<int>(Scenarios().size())),
                         [](const ::testing::TestParamInfo<int>& info) {
                             std::string name;
                             for (char c : std::string(Scenarios()[info.param].name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

} // namespace
