#include "HttpTestUtil.h"
#include "LoopbackServer.h"
#include "StalledListener.h"
#include "TempHome.h"
#include "http/CurlHandles.h"
#include "http/auHTTP.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

QByteArray Pattern(int size) {
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<char>('a' + i % 26);
    return out;
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A port nobody listens on: bound, then closed again.
QString DeadUrl() {
    uint16_t port;
    {
        LoopbackServer probe;
        port = probe.port();
    }
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

struct OutcomeCase {
    const char* name;
    LoopbackScript script;
    QStringList expected;
    QByteArray body; // stream content seen by the outcome handler
};

class HttpOutcome : public ::testing::TestWithParam<int> {};

std::vector<OutcomeCase> OutcomeCases() {
    const QByteArray page = Pattern(1000);
    return {
        {"success", LoopbackScript::Text("hello"), {"Done(5)"}, "hello"},
        {"not found",
         LoopbackScript::Reply(404, "missing"),
         {"AnyError", "HTTPError(404)"},
         "missing"},
        {"partial content counts as failure",
         LoopbackScript::Reply(206, "part"),
         {"AnyError", "HTTPError(206)"},
         "part"},
        {"401 without a handler",
         LoopbackScript::Reply(401, "who", {{"WWW-Authenticate", "Basic realm=\"q\""}}),
         {"AnyError", "HTTPError(401)"},
         "who"},
        {"content length shorter than announced",
         LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + page.left(600)),
         {"AnyError", "ConnLost(1000,600)"},
         page.left(600)},
        {"no content length, close delimited",
         LoopbackScript::Raw("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + page),
         {"Done(1000)"},
         page},
        // Bytes past the announced length belong to no answer: libcurl stops there.
        {"body longer than announced",
         LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n" + page),
         {"Done(10)"},
         page.left(10)},
        {"chunked", LoopbackScript::Chunked(200, {"ab", "cde", "f"}), {"Done(6)"}, "abcdef"},
        {"empty body", LoopbackScript::Reply(200, ""), {"Done(0)"}, ""},
        {"closed without an answer", LoopbackScript::Raw(""), {"AnyError", "HostUnreachable"}, ""},
        {"garbage instead of HTTP",
         LoopbackScript::Raw("SSH-2.0-nope\r\n\r\n"),
         {"AnyError", "HostUnreachable"},
         ""},
        {"interim 100 before the answer",
         LoopbackScript::Raw(
             "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"),
         {"Done(2)"},
         "ok"},
        {"split delivery with delays",
         LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Len")
             .then("gth: 4\r\n\r\nab", 30)
             .then("cd", 30),
         {"Done(4)"},
         "abcd"},
    };
}

TEST_P(HttpOutcome, RaisesTheEventsOfTheOutcome) {
    const OutcomeCase c = OutcomeCases()[GetParam()];
    SCOPED_TRACE(c.name);
    LoopbackServer server;
    server.setDefault(c.script);
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/x");
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    SpinFor(20);
    EXPECT_EQ(log.events, c.expected);
    EXPECT_EQ(log.body, c.body);
    EXPECT_FALSE(http.IsBusy());
}

INSTANTIATE_TEST_SUITE_P(HttpRows, HttpOutcome,
                         ::testing::Range(0, static_cast<int>(OutcomeCases().size())));

TEST(HttpTransfer, UnreachableTargetsRaiseHostUnreachable) {
    for (const QString& url : {DeadUrl(), QStringLiteral("http://"), QString()}) {
        SCOPED_TRACE(url.toStdString());
        TauHTTP http;
        EventLog log(http);
        http.URL = url;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"AnyError", "HostUnreachable"}));
        EXPECT_EQ(http.StatusCode, -1);
    }
}

// Callers tell a blocked host from a refusing one by what libcurl said, on
// one component used again and again (each transfer sets it anew).
TEST(HttpTransfer, TransportErrorSaysWhyTheConnectionFailed) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.Stalls());
    LoopbackServer server;
    server.on("/ok", LoopbackScript::Text("hello"));
    server.on("/missing", LoopbackScript::Reply(404, "no"));
    server.on("/silent", LoopbackScript::NeverAnswer());
    server.on("/closed", LoopbackScript::Raw(""));
    server.on("/cut", LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"));
    const struct Row {
        const char* name;
        QString url;
        QString event;
        TauTransportError error;
    } rows[] = {
        {"refused", DeadUrl(), "HostUnreachable", teCouldNotConnect},
        {"answered", server.url("/ok"), "Done(5)", teNone},
        {"no host", QStringLiteral("http://"), "HostUnreachable", teCouldNotConnect},
        {"handshake never completes", QStringLiteral("http://127.0.0.1:%1/").arg(stalled.Port()),
         "HostUnreachable", teTimedOut},
        {"error status", server.url("/missing"), "HTTPError(404)", teNone},
        {"connected, then silent", server.url("/silent"), "HostUnreachable", teTimedOut},
        {"closed without an answer", server.url("/closed"), "HostUnreachable", teOther},
        {"answer cut short", server.url("/cut"), "ConnLost(10,2)", teOther},
    };
    TauHTTP http;
    http.Timeouts.ConnectTimeout = 300;
    http.Timeouts.ReceiveTimeout = 1000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EventLog log(http);
        http.URL = row.url;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait(8000));
        EXPECT_EQ(log.events.last(), row.event);
        EXPECT_EQ(http.TransportError, row.error);
    }
}

TEST(HttpTransfer, MalformedHeaderLineSendsNothing) {
    LoopbackServer server;
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/x");
    http.AddHeaders = {"X-Ok: 1", "X-Bad: a\r\nInjected: yes"};
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"AnyError", "HostUnreachable"}));
    EXPECT_EQ(server.requestCount(), 0u);
}

struct VerbCase {
    TauHTTPRequestMethod method;
    QByteArray postData;
    QByteArray verb;
    QByteArray body;
    QByteArray contentType;
};

TEST(HttpRequest, VerbBodyAndContentTypeFollowMethodAndPostData) {
    const VerbCase cases[] = {
        {rmAutoDetect, "", "GET", "", ""},
        {rmAutoDetect, "a=1&b=2", "POST", "a=1&b=2", "application/x-www-form-urlencoded"},
        {rmPOST, "", "POST", "", "application/x-www-form-urlencoded"},
        {rmGET, "a=1", "GET", "", ""},
    };
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    for (const VerbCase& c : cases) {
        SCOPED_TRACE(c.verb.toStdString() + " " + c.postData.toStdString());
        server.clearRequests();
        TauHTTP http;
        EventLog log(http);
        http.URL = server.url("/form");
        http.RequestMethod = c.method;
        http.POSTData = c.postData;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        const RecordedRequest r = server.lastRequest();
        EXPECT_EQ(r.method, c.verb);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.header("Content-Type"), c.contentType);
        if (c.verb == "POST") {
            EXPECT_EQ(r.header("Content-Length"), QByteArray::number(c.body.size()));
        }
    }
}

TEST(HttpRequest, RangeLine) {
    struct Case {
        int start, end;
        QByteArray line;
    } cases[] = {{100, 0, "bytes=100-"}, {0, 499, "bytes=0-499"}, {0, 0, ""}, {5, 9, "bytes=5-9"}};
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    for (const Case& c : cases) {
        TauHTTP http;
        EventLog log(http);
        http.URL = server.url("/r");
        http.Range.StartRange = c.start;
        http.Range.EndRange = c.end;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(server.lastRequest().header("Range"), c.line) << c.start << "-" << c.end;
        EXPECT_EQ(server.lastRequest().hasHeader("Range"), !c.line.isEmpty());
    }
}

TEST(HttpRequest, AddHeadersInOrderBeforeRangeWithSessionValues) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/h?q=%26x");
    http.AddHeaders = {"X-First: 1", "X-Second: two words"};
    http.Range.StartRange = 7;
    http.Agent = "agent/1";
    http.Referer = "http://ref.example/";
    http.UseCache = false;
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    const RecordedRequest r = server.lastRequest();
    const QList<QByteArray> lines = r.headerLines();
    const auto first = lines.indexOf("X-First: 1");
    const auto second = lines.indexOf("X-Second: two words");
    const auto range = lines.indexOf("RANGE: bytes=7-");
    ASSERT_GE(first, 0);
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(range, second + 1);
    EXPECT_EQ(r.header("User-Agent"), "agent/1");
    EXPECT_EQ(r.header("Referer"), "http://ref.example/");
    EXPECT_EQ(r.header("Accept"), "text/html, */*");
    EXPECT_EQ(r.header("Pragma"), "no-cache");
    EXPECT_EQ(r.header("Cache-Control"), "no-cache");
    EXPECT_EQ(r.target, "/h?q=%26x");     // escapes of the URL go out untouched
    EXPECT_EQ(http.AddHeaders.size(), 2); // the component never empties the list
}

TEST(HttpRequest, UrlWithoutSchemeAndCredentials) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    TauHTTP http;
    EventLog log(http);
    http.URL = QStringLiteral("u%40x:p@127.0.0.1:%1/c").arg(server.port());
    http.Username = "ignored";
    http.Password = "ignored";
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(server.lastRequest().header("Authorization"),
              "Basic " + QByteArray("u@x:p").toBase64());

    // Only a user name in the URL: the password comes from Password.
    http.URL = QStringLiteral("http://only@127.0.0.1:%1/c").arg(server.port());
    http.Password = "secret";
    log.events.clear();
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(server.lastRequest().header("Authorization"),
              "Basic " + QByteArray("only:secret").toBase64());
}

TEST(HttpUpload, BodyIsWrittenInBufferSizedChunks) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("got it"));
    TauHTTP http;
    EventLog log(http);
    const QByteArray body = Pattern(10000);
    http.URL = server.url("/up");
    http.AddHeaders = {"Content-Type: multipart/form-data; boundary=xyz"};
    QList<int> progress, sizes;
    http.OnUploadProgress = [&](QObject*, int size, int sent, int, int, uint8_t, float) {
        sizes << size;
        progress << sent;
    };
    QList<int> indexes;
    http.OnUploadFieldRequest = [&](QObject*, uint16_t index, QIODevice* stream, QString& field,
                                    QString& file) {
        indexes << index;
        field = "ignored";
        file = "ignored";
        stream->write(index == 0 ? body.left(3000) : body.mid(3000));
        stream->seek(0); // the whole content counts, wherever the position is
    };
    ASSERT_TRUE(http.StartUpload(2));
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(6)"}));
    EXPECT_EQ(indexes, QList<int>({0, 1}));
    EXPECT_EQ(progress, QList<int>({4096, 8192, 10000}));
    EXPECT_EQ(sizes, QList<int>({10000, 10000, 10000}));
    const RecordedRequest r = server.lastRequest();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.body, body);
    EXPECT_EQ(r.header("Content-Type"), "multipart/form-data; boundary=xyz");
}

TEST(HttpUpload, ExpectContinueFromTheCallerIsHonoured) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/up");
    http.AddHeaders = {"Expect: 100-continue"};
    http.OnUploadFieldRequest = [](QObject*, uint16_t, QIODevice* s, QString&, QString&) {
        s->write(Pattern(5000));
    };
    ASSERT_TRUE(http.StartUpload(1));
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(2)"}));
    EXPECT_EQ(server.lastRequest().body, Pattern(5000));
    EXPECT_EQ(server.lastRequest().header("Expect"), "100-continue");
}

TEST(HttpUpload, WithoutHandlerOrWhileBusy) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::NeverAnswer());
    TauHTTP http;
    http.URL = server.url("/up");
    EXPECT_TRUE(http.StartUpload(1)); // no handler: nothing starts
    EXPECT_FALSE(http.IsBusy());
    SpinFor(50);
    EXPECT_EQ(server.requestCount(), 0u);

    ASSERT_TRUE(http.StartTransfer());
    int calls = 0;
    http.OnUploadFieldRequest = [&](QObject*, uint16_t, QIODevice*, QString&, QString&) {
        ++calls;
    };
    EXPECT_FALSE(http.StartUpload(1));
    EXPECT_FALSE(http.StartTransfer());
    EXPECT_EQ(calls, 0);
    http.AbortTransfer();
}

TEST(HttpAuth, PasswordRequestRetriesWithNewCredentials) {
    LoopbackServer server;
    const auto challenge =
        LoopbackScript::Reply(401, "no", {{"WWW-Authenticate", "Basic realm=\"Quill Zone\""}});
    server.queue("/a", challenge);
    server.queue("/a", challenge);
    server.on("/a", LoopbackScript::Text("welcome"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/a");
    QStringList realms;
    http.OnPasswordRequest = [&](QObject* sender, const QString& realm, bool& tryAgain) {
        realms << realm;
        auto* h = static_cast<TauHTTP*>(sender);
        h->Username = "ann";
        h->Password = QStringLiteral("pw%1").arg(realms.size());
        tryAgain = true;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(7)"}));
    EXPECT_EQ(realms, QStringList({"Quill Zone", "Quill Zone"}));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[0].hasHeader("Authorization"));
    EXPECT_EQ(requests[1].header("Authorization"), "Basic " + QByteArray("ann:pw1").toBase64());
    EXPECT_EQ(requests[2].header("Authorization"), "Basic " + QByteArray("ann:pw2").toBase64());
}

TEST(HttpAuth, DecliningTheRetryReportsTheStatus) {
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Reply(401, "denied", {{"WWW-Authenticate", "Digest nonce=1"}}));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/a");
    QString seen = "unset";
    http.OnPasswordRequest = [&](QObject*, const QString& realm, bool& tryAgain) {
        seen = realm;
        tryAgain = false;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(seen, "Digest nonce=1"); // no realm="..." pair: the whole value
    EXPECT_EQ(log.events, QStringList({"AnyError", "HTTPError(401)"}));
    EXPECT_EQ(log.body, "denied");
    EXPECT_EQ(server.requestCount(), 1u);
}

class HttpOutputFile : public ::testing::Test {
protected:
    TempHome home;
    QString target = home.path() + "/answer.bin";
    LoopbackServer server;
    TauHTTP http;
    EventLog log{http};

    void SetUp() override {
        http.URL = server.url("/f");
        http.OutputFileName = target;
    }
    QStringList Leftovers() const {
        return QDir(home.path()).entryList({"answer.bin.*"}, QDir::Files | QDir::Hidden);
    }
};

TEST_F(HttpOutputFile, SuccessWritesTheFileAndHandsNoStream) {
    WriteFile(target, "old content that is longer than the new one");
    const QByteArray body = Pattern(100000);
    server.setDefault(LoopbackScript::Reply(200, body));
    QList<bool> progressSawFile;
    http.OnProgress = [&](QObject*, const QString&, int, int read, int, int, uint8_t, float,
                          QIODevice* s) { progressSawFile << (s && s->pos() == read); };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(100000)"}));
    EXPECT_TRUE(log.streamNull);
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_FALSE(progressSawFile.isEmpty());
    EXPECT_FALSE(progressSawFile.contains(false));
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(HttpOutputFile, EmptyAnswerGivesEmptyFile) {
    server.setDefault(LoopbackScript::Reply(200, ""));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(0)"}));
    EXPECT_EQ(ReadFile(target), "");
}

TEST_F(HttpOutputFile, ChunkedAnswerGoesToMemoryAndLeavesTheFile) {
    WriteFile(target, "keep me");
    server.setDefault(LoopbackScript::Chunked(200, {"chunk-one ", "chunk-two"}));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(19)"}));
    EXPECT_FALSE(log.streamNull);
    EXPECT_EQ(log.body, "chunk-one chunk-two");
    EXPECT_EQ(ReadFile(target), "keep me");
}

TEST_F(HttpOutputFile, ErrorPageIsHandedOverAndNoFileRemains) {
    WriteFile(target, "previous");
    server.setDefault(LoopbackScript::Reply(404, "<h1>gone</h1>"));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"AnyError", "HTTPError(404)"}));
    EXPECT_EQ(log.body, "<h1>gone</h1>");
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(HttpOutputFile, ShortAnswerLeavesNoFile) {
    server.setDefault(
        LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n" + Pattern(20)));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"AnyError", "ConnLost(50,20)"}));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST_F(HttpOutputFile, UncreatableFileRaisesAnyErrorOnly) {
    http.OutputFileName = home.path() + "/no/such/folder/file.bin";
    server.setDefault(LoopbackScript::Reply(200, "data"));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !log.events.isEmpty() && !http.IsBusy(); }));
    SpinFor(50);
    EXPECT_EQ(log.events, QStringList({"AnyError"}));
}

TEST_F(HttpOutputFile, DeviceIsNeverReplaced) {
    http.OutputFileName = "/dev/null";
    server.setDefault(LoopbackScript::Reply(200, "data"));
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !log.events.isEmpty() && !http.IsBusy(); }));
    SpinFor(50);
    EXPECT_EQ(log.events, QStringList({"AnyError"}));
    EXPECT_TRUE(QFileInfo("/dev/null").exists() && !QFileInfo("/dev/null").isFile());
}

TEST_F(HttpOutputFile, FullDiskIsAFailureAndLeavesNoFile) {
    // A file size limit makes writes past 64 KiB fail like a full disk.
    server.setDefault(LoopbackScript::Reply(200, Pattern(1 << 20)));
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ASSERT_TRUE(http.StartTransfer());
    const bool ended = log.Wait();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(ended);
    ASSERT_EQ(log.events.size(), 2);
    EXPECT_EQ(log.events[0], "AnyError");
    EXPECT_TRUE(log.events[1].startsWith("ConnLost(1048576,")) << log.events[1].toStdString();
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(Leftovers().isEmpty());
}

TEST(HttpTransfer, LocalFileUrl) {
    TempHome home;
    const QString path = home.path() + "/local file.txt";
    WriteFile(path, "from disk");
    TauHTTP http;
    EventLog log(http);
    http.URL = "file://" + QString(path).replace(" ", "%20");
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(9)"}));
    EXPECT_EQ(log.body, "from disk");

    log.events.clear();
    http.URL = "file://" + home.path() + "/missing.txt";
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"AnyError", "HTTPError(404)"}));
}

TEST(HttpTransfer, HeaderInfoValuesAndInterruption) {
    qputenv("TZ", "UTC");
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(200, "body",
                                            {{"Content-Type", "text/x-test"},
                                             {"Content-Language", "zh-CN"},
                                             {"Content-Encoding", "identity"},
                                             {"Set-Cookie", "k=v"},
                                             {"Date", "Sun, 06 Nov 1994 08:49:37 GMT"},
                                             {"Last-Modified", "Sunday, 06-Nov-94 08:49:37 GMT"},
                                             {"X-Long", QByteArray(5000, 'x')}}));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/i");
    QString type, lang, enc, cookie, raw;
    int length = -1;
    double date = 0, modified = 0, expires = -1;
    bool stop = false;
    http.OnHeaderInfo = [&](QObject*, const QString& r, const QString& t, const QString& l,
                            const QString& e, const QString& loc, int len, double d, double m,
                            double x, bool& cont) {
        raw = r, type = t, lang = l, enc = e, cookie = loc, length = len;
        date = d, modified = m, expires = x;
        cont = !stop;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(4)"}));
    EXPECT_EQ(type, "text/x-test");
    EXPECT_EQ(lang, "zh-CN");
    EXPECT_EQ(enc, "identity");
    EXPECT_EQ(cookie, "k=v");
    EXPECT_EQ(length, 4);
    EXPECT_NEAR(date, 34644.367789351854, 1e-6); // TZ is UTC here
    EXPECT_DOUBLE_EQ(modified, date);
    EXPECT_EQ(expires, 0);
    EXPECT_TRUE(raw.isEmpty()); // over 4095 characters: the query fails
    EXPECT_EQ(http.ContentLanguage, "zh-CN");

    stop = true;
    log.events.clear();
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !log.events.isEmpty(); }));
    SpinFor(30);
    EXPECT_EQ(log.events, QStringList({"DoneInterrupted"}));
}

TEST(HttpTransfer, ProgressStepsNeverExceedTheBufferSize) {
    LoopbackServer server;
    const QByteArray body = Pattern(10000);
    server.setDefault(LoopbackScript::Reply(200, body));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/p");
    http.TransferBufferSize = 255;
    QList<int> reads;
    int lastSize = -1;
    http.OnProgress = [&](QObject*, const QString&, int size, int read, int, int, uint8_t percent,
                          float, QIODevice* s) {
        reads << read;
        lastSize = size;
        EXPECT_EQ(s->pos(), read);
        EXPECT_EQ(percent, static_cast<uint8_t>(std::nearbyint(read * 100.0 / size)));
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(10000)"}));
    EXPECT_EQ(log.body, body);
    EXPECT_EQ(lastSize, 10000);
    ASSERT_EQ(reads.size(), (10000 + 254) / 255);
    int previous = 0;
    for (int r : reads) {
        EXPECT_GT(r, previous);
        EXPECT_LE(r - previous, 255);
        previous = r;
    }
}

TEST(HttpTransfer, HandlerExceptionsDoNotStopTheTransfer) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(200, Pattern(9000)));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/p");
    int calls = 0;
    http.OnProgress = [&](QObject*, const QString&, int, int, int, int, uint8_t, float,
                          QIODevice*) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(9000)"}));
    EXPECT_EQ(calls, 3);
}

TEST(HttpTransfer, RedirectIsFollowedAndReported) {
    LoopbackServer server;
    server.on("/old", LoopbackScript::Reply(302, "", {{"Location", "/new?x=1"}}));
    server.on("/new", LoopbackScript::Text("moved here"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/old");
    QStringList redirects;
    std::mutex m; // raised on the worker thread
    http.OnRedirected = [&](QObject*, const QString& url) {
        std::lock_guard lk(m);
        redirects << url;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(10)"}));
    std::lock_guard lk(m);
    EXPECT_EQ(redirects, QStringList({server.url("/new?x=1")}));
}

TEST(HttpTransfer, CookiesAreKeptOnlyWhenAsked) {
    LoopbackServer server;
    server.on("/set", LoopbackScript::Reply(200, "", {{"Set-Cookie", "session=42; Path=/"}}));
    server.on("/use", LoopbackScript::Text("ok"));
    for (bool use : {false, true}) {
        TauHTTP a, b;
        EventLog la(a), lb(b);
        a.UseCookies = b.UseCookies = use;
        a.URL = server.url("/set");
        b.URL = server.url("/use");
        ASSERT_TRUE(a.StartTransfer());
        ASSERT_TRUE(la.Wait());
        ASSERT_TRUE(b.StartTransfer());
        ASSERT_TRUE(lb.Wait());
        // The store is shared by the whole process, so other tests' cookies may ride along.
        EXPECT_EQ(server.lastRequest().header("Cookie").contains("session=42"), use);
        if (!use) {
            EXPECT_FALSE(server.lastRequest().hasHeader("Cookie"));
        }
    }
}

TEST(HttpLifecycle, WaitThreadReturnsAfterTheCompletionEvents) {
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n").then("ok", 100));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/w");
    http.WaitThread = true;
    EXPECT_TRUE(http.StartTransfer());
    EXPECT_EQ(log.events, QStringList({"Done(2)"}));
    EXPECT_FALSE(http.IsBusy());
}

TEST(HttpLifecycle, WaitTimeoutStopsANeverAnsweringServer) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::NeverAnswer());
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/silent");
    http.WaitThread = true;
    http.WaitTimeout = 1000;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(http.StartTransfer());
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(log.events, QStringList({"WaitTimeoutExpired"}));
    EXPECT_FALSE(http.IsBusy());
    SpinFor(300);
    EXPECT_EQ(log.events, QStringList({"WaitTimeoutExpired"}));

    // The component is usable at once.
    server.setDefault(LoopbackScript::Text("next"));
    http.WaitThread = false;
    log.events.clear();
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(4)"}));
}

TEST(HttpLifecycle, AbortRaisesOnAbortedOnceAndNothingAfter) {
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + Pattern(5000))
            .hang());
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/slow");
    int progress = 0;
    http.OnProgress = [&](QObject*, const QString&, int, int, int, int, uint8_t, float,
                          QIODevice*) { ++progress; };
    http.AbortTransfer(); // idle: nothing
    EXPECT_TRUE(log.events.isEmpty());
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return progress > 0; }));
    http.AbortTransfer();
    EXPECT_FALSE(http.IsBusy());
    EXPECT_EQ(log.events, QStringList({"Aborted"}));
    const int seen = progress;
    SpinFor(1500);
    EXPECT_EQ(log.events, QStringList({"Aborted"}));
    EXPECT_EQ(progress, seen);
}

TEST(HttpLifecycle, AbortFromInsideAProgressHandler) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(200, Pattern(50000)));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/p");
    int progress = 0;
    http.OnProgress = [&](QObject* s, const QString&, int, int, int, int, uint8_t, float,
                          QIODevice*) {
        if (++progress == 2)
            static_cast<TauHTTP*>(s)->AbortTransfer();
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !log.events.isEmpty(); }));
    SpinFor(200);
    EXPECT_EQ(log.events, QStringList({"Aborted"}));
    EXPECT_EQ(progress, 2);
}

TEST(HttpLifecycle, DoneHandlerStartsTheNextTransfer) {
    LoopbackServer server;
    server.on("/1", LoopbackScript::Text("one"));
    server.on("/2", LoopbackScript::Text("two!"));
    TauHTTP http;
    QStringList bodies;
    http.OnDone = [&](QObject* s, const QString&, int, QIODevice* stream) {
        bodies << QString::fromLatin1(stream->readAll());
        auto* h = static_cast<TauHTTP*>(s);
        EXPECT_FALSE(h->IsBusy());
        if (bodies.size() == 1) {
            h->URL = server.url("/2");
            EXPECT_TRUE(h->StartTransfer());
            EXPECT_EQ(stream->size(), 3); // the stream lives until the handler returns
        }
    };
    http.URL = server.url("/1");
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return bodies.size() == 2; }));
    EXPECT_EQ(bodies, QStringList({"one", "two!"}));
}

TEST(HttpLifecycle, StreamOutlivesAnAbortInsideTheHandler) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(404, "error page"));
    TauHTTP http;
    QByteArray seen;
    QString type = "unset";
    http.OnHTTPError = [&](QObject* s, int, QIODevice* stream) {
        auto* h = static_cast<TauHTTP*>(s);
        h->AbortTransfer(); // idle: releases the data, but not under the handler
        h->URL = server.url("/again");
        seen = stream->readAll();
    };
    http.OnDone = [&](QObject*, const QString& contentType, int, QIODevice*) {
        type = contentType;
    };
    http.URL = server.url("/x");
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, "error page");
}

TEST(HttpLifecycle, TwoComponentsAtOnce) {
    LoopbackServer server;
    server.on("/a",
              LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n").then("aaa", 200));
    server.on("/b",
              LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n").then("bb", 200));
    TauHTTP a, b;
    EventLog la(a), lb(b);
    a.URL = server.url("/a");
    b.URL = server.url("/b");
    ASSERT_TRUE(a.StartTransfer());
    ASSERT_TRUE(b.StartTransfer());
    EXPECT_TRUE(a.IsBusy());
    EXPECT_TRUE(b.IsBusy());
    ASSERT_TRUE(server.waitForRequests(2));
    ASSERT_TRUE(SpinUntil([&] { return la.Ended() && lb.Ended(); }));
    EXPECT_EQ(la.events, QStringList({"Done(3)"}));
    EXPECT_EQ(lb.events, QStringList({"Done(2)"}));
    EXPECT_EQ(la.body, "aaa");
    EXPECT_EQ(lb.body, "bb");
}

TEST(HttpLifecycle, DestroyedWhileRunningRaisesNothing) {
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + Pattern(3000))
            .hang());
    QStringList events;
    int progress = 0;
    {
        auto* http = new TauHTTP;
        http->URL = server.url("/d");
        http->OnProgress = [&](QObject*, const QString&, int, int, int, int, uint8_t, float,
                               QIODevice*) { ++progress; };
        http->OnAnyError = [&](QObject*) { events << "AnyError"; };
        http->OnAborted = [&](QObject*) { events << "Aborted"; };
        http->OnConnLost = [&](QObject*, const QString&, int, int, QIODevice*) {
            events << "ConnLost";
        };
        ASSERT_TRUE(http->StartTransfer());
        ASSERT_TRUE(SpinUntil([&] { return progress > 0; }));
        delete http;
    }
    // Also a component destroyed before the worker's first hand-over.
    auto* early = new TauHTTP;
    early->URL = server.url("/d");
    early->OnAnyError = [&](QObject*) { events << "AnyError"; };
    ASSERT_TRUE(early->StartTransfer());
    delete early;
    SpinFor(1500);
    EXPECT_TRUE(events.isEmpty());
}

TEST(HttpLifecycle, DestroyedInsideItsOwnHandler) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(404, "x"));
    auto* http = new TauHTTP;
    QStringList events;
    http->URL = server.url("/z");
    http->OnAnyError = [&](QObject* s) {
        events << "AnyError";
        delete s;
    };
    http->OnHTTPError = [&](QObject*, int, QIODevice*) { events << "HTTPError"; };
    ASSERT_TRUE(http->StartTransfer());
    ASSERT_TRUE(SpinUntil([&] { return !events.isEmpty(); }));
    SpinFor(100);
    EXPECT_EQ(events, QStringList({"AnyError"}));
}

} // namespace

namespace {

struct ProxyCase {
    const char* name;
    TauHTTPAccessType access;
    bool envProxy;      // http_proxy points at the proxy stand-in
    const char* bypass; // ProxyBypass
    bool viaProxy;      // the request reaches the proxy stand-in
};

TEST(HttpProxy, AccessTypeChoosesTheRoute) {
    const ProxyCase cases[] = {
        {"explicit proxy", atUseProxy, false, "", true},
        {"explicit proxy, target bypassed", atUseProxy, false, "127.0.0.1;", false},
        {"direct ignores the environment", atDirect, true, "", false},
        {"preconfigured uses the environment", atPreconfig, true, "", true},
        {"preconfigured without settings", atPreconfig, false, "", false},
    };
    LoopbackServer proxy, origin;
    proxy.setDefault(LoopbackScript::Text("from proxy"));
    origin.setDefault(LoopbackScript::Text("from origin"));
    for (const ProxyCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv env("http_proxy", c.envProxy ? QByteArray("http://127.0.0.1:") +
                                                     QByteArray::number(proxy.port())
                                               : QByteArray());
        ScopedEnv noProxy("no_proxy", "");
        TauHTTP http;
        EventLog log(http);
        http.URL = origin.url("/where");
        http.Proxy.AccessType = c.access;
        http.Proxy.ProxyServer = "127.0.0.1";
        http.Proxy.ProxyPort = proxy.port();
        http.Proxy.ProxyBypass = c.bypass;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.body, c.viaProxy ? "from proxy" : "from origin");
        if (c.viaProxy) {
            EXPECT_EQ(proxy.lastRequest().target, origin.url("/where").toLatin1());
        }
        proxy.clearRequests();
    }
}

// The socket is the whole route: the URL only names what is sent, and a
// proxy from the environment is never asked.
TEST(HttpTransfer, UnixSocketPathIsTheWholeRoute) {
    QTemporaryDir dir;
    const QString socket = dir.path() + "/engine.sock";
    LoopbackServer server(socket);
    server.setDefault(LoopbackScript::Text("over the socket"));
    LoopbackServer proxy;
    proxy.setDefault(LoopbackScript::Text("from proxy"));
    ScopedEnv env("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.port()));
    ScopedEnv noProxy("no_proxy", "");
    const struct {
        const char* name;
        QString socketPath;
        QStringList events;
    } rows[] = {
        {"socket", socket, {"Done(15)"}},
        {"nothing at that path", dir.path() + "/missing.sock", {"AnyError", "HostUnreachable"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TauHTTP http;
        EventLog log(http);
        http.URL = DeadUrl() + "where?x=1";
        http.UnixSocketPath = row.socketPath;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, row.events);
    }
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.lastRequest().target, "/where?x=1");
    EXPECT_EQ(proxy.requestCount(), 0u);
}

TEST(HttpProxy, ProxyAuthenticationRetry) {
    LoopbackServer proxy;
    proxy.queue("http://127.0.0.1:1/p",
                LoopbackScript::Reply(407, "", {{"Proxy-Authenticate", "Basic realm=\"px\""}}));
    proxy.setDefault(LoopbackScript::Text("through"));
    TauHTTP http;
    EventLog log(http);
    http.URL = "http://127.0.0.1:1/p";
    http.Proxy.AccessType = atUseProxy;
    http.Proxy.ProxyServer = "127.0.0.1";
    http.Proxy.ProxyPort = proxy.port();
    http.Proxy.ProxyBypass = "";
    int asked = 0;
    http.OnProxyAuthenticationRequest = [&](QObject*, QString& user, QString& pass, bool& again) {
        ++asked;
        user = "pu";
        pass = "pp";
        again = true;
    };
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(7)"}));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(proxy.lastRequest().header("Proxy-Authorization"),
              "Basic " + QByteArray("pu:pp").toBase64());
    EXPECT_EQ(http.ProxyUsername, "pu"); // kept for the next transfer
}

TEST(HttpTransfer, ReceiveTimeoutEndsAStalledAnswer) {
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab").hang());
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/stall");
    http.Timeouts.ReceiveTimeout = 1000;
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait(5000));
    EXPECT_EQ(log.events, QStringList({"AnyError", "ConnLost(10,2)"}));
}

TEST(HttpTransfer, WorkOfflineSendsNothing) {
    LoopbackServer server;
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/off");
    http.WorkOffline = true;
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"AnyError", "HostUnreachable"}));
    EXPECT_EQ(server.connectionCount(), 0u);
}

} // namespace

namespace {

TEST(HttpUpload, RetryAfter401SendsTheBodyAgain) {
    LoopbackServer server;
    server.queue("/up",
                 LoopbackScript::Reply(401, "", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
    server.on("/up", LoopbackScript::Text("stored"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/up");
    http.OnUploadFieldRequest = [](QObject*, uint16_t, QIODevice* s, QString&, QString&) {
        s->write(Pattern(9000));
    };
    http.OnPasswordRequest = [](QObject* s, const QString&, bool& again) {
        static_cast<TauHTTP*>(s)->Username = "u";
        again = true;
    };
    ASSERT_TRUE(http.StartUpload(1));
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(6)"}));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].body, Pattern(9000)); // not an empty second pass
}

} // namespace

namespace {

TEST(HttpLimits, TheCallersOwnTimeoutsWin) {
    // An answer after 1.5 s of silence: past the default limit, within the caller's.
    ScopedLimits limits(500, 500);
    LoopbackServer server;
    server.setDefault(
        LoopbackScript::Raw("").then("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 1500));
    for (uint32_t receiveTimeout : {0u, 5000u}) {
        TauHTTP http;
        EventLog log(http);
        http.URL = server.url("/quiet");
        http.Timeouts.ReceiveTimeout = receiveTimeout;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait(8000));
        EXPECT_EQ(log.events, receiveTimeout ? QStringList({"Done(2)"})
                                             : QStringList({"AnyError", "HostUnreachable"}));
        EXPECT_FALSE(http.IsBusy());
    }
}

TEST(HttpLifecycle, DestroyedByItsHandlerWhileStartTransferWaits) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Reply(404, "x"));
    auto* http = new TauHTTP;
    http->URL = server.url("/w");
    http->WaitThread = true;
    http->WaitTimeout = 5000;
    QStringList events;
    http->OnHTTPError = [&](QObject* s, int, QIODevice*) {
        events << "HTTPError";
        delete s; // inside the wait of StartTransfer, which must not touch it after
    };
    EXPECT_TRUE(http->StartTransfer());
    EXPECT_EQ(events, QStringList({"HTTPError"}));
}

TEST(HttpLifecycle, OnRedirectedNeverOutlivesItsSender) {
    LoopbackServer server;
    server.on("/a", LoopbackScript::Reply(302, "", {{"Location", "/b"}}));
    server.on("/b", LoopbackScript::Text("b"));
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "aborted");
        auto* http = new TauHTTP;
        std::atomic<bool> entered{false}, finished{false}, gone{false}, sawGone{false};
        QObject::connect(http, &QObject::destroyed, [&] { gone = true; });
        http->URL = server.url("/a");
        http->OnRedirected = [&](QObject*, const QString&) {
            entered = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sawGone = gone.load();
            finished = true;
        };
        ASSERT_TRUE(http->StartTransfer());
        ASSERT_TRUE(SpinUntil([&] { return entered.load(); }));
        if (destroy)
            delete http;
        else
            http->AbortTransfer();
        EXPECT_TRUE(finished); // the handler had ended before the component let go
        EXPECT_FALSE(sawGone);
        if (!destroy)
            delete http;
    }
}

TEST(HttpLifecycle, AFinishedTransferHoldsNothing) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("stored"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/up");
    http.OnUploadFieldRequest = [](QObject*, uint16_t, QIODevice* s, QString&, QString&) {
        s->write(QByteArray(1 << 20, 'u'));
    };
    ASSERT_TRUE(http.StartUpload(1));
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(6)"}));
    // Upload body and answer go with the transfer, not with the next start.
    EXPECT_TRUE(SpinUntil([] { return TransferJob::LiveCount() == 0; }));
}

TEST(HttpLifecycle, AThreadThatCannotStartEndsTheTransferAtOnce) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    TauHTTP http;
    EventLog log(http);
    http.URL = server.url("/t");
    TauCustomThread::FailThreadStartsForTests(1);
    EXPECT_TRUE(http.StartTransfer());
    EXPECT_EQ(log.events, QStringList({"AnyError", "HostUnreachable"}));
    EXPECT_FALSE(http.IsBusy());
    log.events.clear();
    ASSERT_TRUE(http.StartTransfer());
    ASSERT_TRUE(log.Wait());
    EXPECT_EQ(log.events, QStringList({"Done(2)"}));
}

TEST(HttpRequest, LineBreaksInSessionTextsSendNothing) {
    LoopbackServer server;
    server.setDefault(LoopbackScript::Text("ok"));
    const QString injected = "x\r\nInjected: yes";
    for (QString TauHTTP::*text : {&TauHTTP::Agent, &TauHTTP::Referer, &TauHTTP::AcceptTypes}) {
        TauHTTP http;
        EventLog log(http);
        http.URL = server.url("/s");
        http.*text = injected;
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"AnyError", "HostUnreachable"}));
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(HttpUpload, ExpectContinueNeverHoldsTheBodyBack) {
    for (bool serverContinues : {false, true}) {
        SCOPED_TRACE(serverContinues ? "server sends 100" : "server never sends 100");
        LoopbackServer server;
        LoopbackScript script = LoopbackScript::Text("ok");
        script.sendContinue = serverContinues;
        script.bodyWaitMs = 500; // answers 408 when the body is not there by then
        server.setDefault(script);
        TauHTTP http;
        EventLog log(http);
        http.URL = server.url("/up");
        http.AddHeaders = {"Expect: 100-continue"};
        http.OnUploadFieldRequest = [](QObject*, uint16_t, QIODevice* s, QString&, QString&) {
            s->write(QByteArray(5000, 'b'));
        };
        ASSERT_TRUE(http.StartUpload(1));
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"Done(2)"}));
        EXPECT_EQ(server.lastRequest().body.size(), 5000);
    }
}

TEST(HttpAuth, CredentialsChangeOnlyBetweenPasses) {
    const int before = CurlOptionsSetDuringPerform();
    LoopbackServer server;
    server.queue("/a", LoopbackScript::Reply(401, "", {{"WWW-Authenticate", "Basic realm=\"r\""}}));
    server.queue("http://127.0.0.1:1/p",
                 LoopbackScript::Reply(407, "", {{"Proxy-Authenticate", "Basic realm=\"p\""}}));
    server.setDefault(LoopbackScript::Text("in"));
    for (bool proxy : {false, true}) {
        TauHTTP http;
        EventLog log(http);
        http.URL = proxy ? QStringLiteral("http://127.0.0.1:1/p") : server.url("/a");
        if (proxy) {
            http.Proxy.AccessType = atUseProxy;
            http.Proxy.ProxyServer = "127.0.0.1";
            http.Proxy.ProxyPort = server.port();
            http.Proxy.ProxyBypass = "";
        }
        http.OnPasswordRequest = [](QObject* s, const QString&, bool& again) {
            static_cast<TauHTTP*>(s)->Username = "u";
            again = true;
        };
        http.OnProxyAuthenticationRequest = [](QObject*, QString& user, QString&, bool& again) {
            user = "pu";
            again = true;
        };
        ASSERT_TRUE(http.StartTransfer());
        ASSERT_TRUE(log.Wait());
        EXPECT_EQ(log.events, QStringList({"Done(2)"}));
        EXPECT_TRUE(
            server.lastRequest().hasHeader(proxy ? "Proxy-Authorization" : "Authorization"));
    }
    EXPECT_EQ(CurlOptionsSetDuringPerform(), before);
}

} // namespace
