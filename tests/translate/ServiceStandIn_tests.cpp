#include "ServiceStandIn.h"
#include "TempHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Sends `request` as it is and reads until the stand-in closes.
QByteArray Exchange(quint16 port, const QByteArray& request) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return "connect failed";
    }
    ::send(fd, request.data(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        answer.append(buffer, n);
    ::close(fd);
    return answer;
}

QByteArray Post(const QByteArray& path, const QByteArray& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: test\r\n" +
           "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

TEST(ServiceStandIn, RecordsEveryPartOfTheRequestInOrder) {
    ServiceStandIn standIn;
    ASSERT_TRUE(standIn.IsListening());
    standIn.SetAnswer(kTranslatePath, {});
    Exchange(standIn.Port(), Post("/translate_a/single?x=1", "a=b&c=%20"));
    ASSERT_TRUE(standIn.WaitForRequests(1, 5000));
    const StandInRequest r = standIn.Requests().at(0);
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/translate_a/single?x=1");
    EXPECT_EQ(r.path(), kTranslatePath);
    EXPECT_EQ(r.version, "HTTP/1.1");
    ASSERT_EQ(r.headers.size(), 4);
    EXPECT_EQ(r.headers[0].first, "Host");
    EXPECT_EQ(r.headers[1], (QPair<QByteArray, QByteArray>{"User-Agent", "test"}));
    EXPECT_EQ(r.header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.body, "a=b&c=%20");
}

TEST(ServiceStandIn, DecodesAChunkedRequestBody) {
    ServiceStandIn standIn;
    Exchange(standIn.Port(), "POST /gettts HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
                             "3\r\nabc\r\n5;x=y\r\nde\r\nf\r\n0\r\n\r\n");
    ASSERT_TRUE(standIn.WaitForRequests(1, 5000));
    EXPECT_EQ(standIn.Requests().at(0).body, "abcde\r\nf");
}

struct AnswerCase {
    const char* name;
    StandInAnswer answer;
    QByteArray expected;
};

StandInAnswer With(auto change) {
    StandInAnswer a;
    a.body = "hello";
    change(a);
    return a;
}

TEST(ServiceStandIn, SendsTheScriptedAnswer) {
    const AnswerCase cases[] = {
        {"plain", With([](StandInAnswer&) {}),
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello"},
        {"headers in order, own length", With([](StandInAnswer& a) {
             a.status = 503;
             a.headers = {{"X-B", "2"}, {"Content-Length", "9"}, {"X-A", "1"}};
         }),
         "HTTP/1.1 503 Service Unavailable\r\nX-B: 2\r\nContent-Length: 9\r\nX-A: 1\r\n"
         "Connection: close\r\n\r\nhello"},
        {"no length", With([](StandInAnswer& a) { a.contentLength = false; }),
         "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nhello"},
        {"chunked", With([](StandInAnswer& a) { a.chunkSize = 2; }),
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
         "2\r\nhe\r\n2\r\nll\r\n1\r\no\r\n0\r\n\r\n"},
        {"early close", With([](StandInAnswer& a) { a.closeAfter = 2; }),
         "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhe"},
        {"hang up", With([](StandInAnswer& a) { a.hangUp = true; }), ""},
        {"raw", With([](StandInAnswer& a) { a.raw = "HTTP/1.0 302 X\r\n\r\n"; }),
         "HTTP/1.0 302 X\r\n\r\n"},
        {"own reason", With([](StandInAnswer& a) {
             a.reason = "Fine";
             a.body.clear();
         }),
         "HTTP/1.1 200 Fine\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
    };
    ServiceStandIn standIn;
    for (const AnswerCase& c : cases) {
        standIn.SetAnswer(kOcr1Path, c.answer);
        EXPECT_EQ(Exchange(standIn.Port(), Post(kOcr1Path, "x")), c.expected) << c.name;
    }
}

TEST(ServiceStandIn, AnswersInTurnThenRepeatsTheLastAndRefusesUnknownPaths) {
    ServiceStandIn standIn;
    StandInAnswer first, second;
    first.body = "1";
    second.body = "2";
    standIn.SetAnswers(kUpdatePath, {first, second});
    const QByteArray get = "GET /update/quillversion.txt HTTP/1.1\r\n\r\n";
    EXPECT_TRUE(Exchange(standIn.Port(), get).endsWith("\r\n\r\n1"));
    EXPECT_TRUE(Exchange(standIn.Port(), get).endsWith("\r\n\r\n2"));
    EXPECT_TRUE(Exchange(standIn.Port(), get).endsWith("\r\n\r\n2"));
    EXPECT_TRUE(Exchange(standIn.Port(), "GET /nothing HTTP/1.1\r\n\r\n")
                    .startsWith("HTTP/1.1 404 Not Found\r\n"));
}

TEST(ServiceStandIn, DelaysTheAnswerAndStopsPromptlyWhileDelaying) {
    QElapsedTimer timer;
    std::thread client;
    {
        ServiceStandIn standIn;
        StandInAnswer slow;
        slow.headerDelayMs = 300;
        standIn.SetAnswer(kTtsPath, slow);
        timer.start();
        Exchange(standIn.Port(), Post(kTtsPath, ""));
        EXPECT_GE(timer.elapsed(), 290);

        slow.headerDelayMs = 60000;
        standIn.SetAnswer(kTtsPath, slow);
        client = std::thread([port = standIn.Port()] { Exchange(port, Post(kTtsPath, "")); });
        ASSERT_TRUE(standIn.WaitForRequests(2, 5000));
        timer.restart();
        // Leaving the scope must cut the minute-long delay short.
    }
    EXPECT_LT(timer.elapsed(), 5000);
    client.join();
}

TEST(ServiceStandIn, PointsEveryEndpointHereAndRestoresThem) {
    qputenv("QUILLMATE_TTS_URL", "http://elsewhere/gettts");
    qunsetenv("QUILLMATE_OCR1_URL");
    {
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(standIn.Port());
        EXPECT_EQ(qEnvironmentVariable("QUILLMATE_TRANSLATE_URL"), base + "/translate_a/single");
        EXPECT_EQ(qEnvironmentVariable("QUILLMATE_OCR2_URL"), base + "/getocr");
        EXPECT_EQ(qEnvironmentVariable("QUILLMATE_FEEDBACK_URL"), base + "/feedback/addinfo.asp");
    }
    EXPECT_EQ(qgetenv("QUILLMATE_TTS_URL"), "http://elsewhere/gettts");
    EXPECT_FALSE(qEnvironmentVariableIsSet("QUILLMATE_OCR1_URL"));
    qunsetenv("QUILLMATE_TTS_URL");
}

TEST(ParseAnswerLine, ReadsEveryWordAndRefusesBadOnes) {
    QByteArray path;
    StandInAnswer a;
    QString error;
    ASSERT_TRUE(ParseAnswerLine("/getocr status=500 reason=Oops%20now header=X-A:%201 "
                                "header=Content-Type:text/plain body=a%0D%0Ab chunk=4 "
                                "header-delay=10 body-delay=20 close-after=3 no-length hang-up",
                                path, a, error))
        << error.toStdString();
    EXPECT_EQ(path, "/getocr");
    EXPECT_EQ(a.status, 500);
    EXPECT_EQ(a.reason, "Oops now");
    EXPECT_EQ(a.headers, (HeaderList{{"X-A", "1"}, {"Content-Type", "text/plain"}}));
    EXPECT_EQ(a.body, "a\r\nb");
    EXPECT_EQ(a.chunkSize, 4);
    EXPECT_EQ(a.headerDelayMs, 10);
    EXPECT_EQ(a.bodyDelayMs, 20);
    EXPECT_EQ(a.closeAfter, 3);
    EXPECT_FALSE(a.contentLength);
    EXPECT_TRUE(a.hangUp);

    for (const char* bad : {"status=200", "/x status=abc", "/x status=-1", "/x header=novalue",
                            "/x loud", "/x colour=red", "/x body-file=/no/such/file"}) {
        error.clear();
        EXPECT_FALSE(ParseAnswerLine(bad, path, a, error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
}

TEST(StandInProgram, AnswersFromItsScriptAndRecordsRequests) {
    TempHome home;
    const QString script = home.path() + "/script.txt";
    const QString record = home.path() + "/requests.jsonl";
    const QString portFile = home.path() + "/port";
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# translation\n/translate_a/single body=first\n\n"
                "/translate_a/single status=500 body=second\n");
    }
    QProcess program;
    program.start(QStringLiteral(QUILL_STANDIN_EXE),
                  {"--script", script, "--record", record, "--port-file", portFile, "--answer",
                   "/gettts header=Content-Type:audio/mpeg body=mp3"});
    ASSERT_TRUE(program.waitForReadyRead(10000));
    const QByteArray banner = program.readAllStandardOutput();
    ASSERT_TRUE(banner.startsWith("listening on ")) << banner.data();
    const quint16 port = quint16(banner.mid(13).trimmed().toUInt());
    QFile pf(portFile);
    ASSERT_TRUE(pf.open(QIODevice::ReadOnly));
    EXPECT_EQ(pf.readAll().trimmed().toUInt(), port);

    EXPECT_TRUE(Exchange(port, Post(kTranslatePath, "q=1")).endsWith("\r\n\r\nfirst"));
    EXPECT_TRUE(Exchange(port, Post(kTranslatePath, "q=2")).startsWith("HTTP/1.1 500 "));
    EXPECT_TRUE(Exchange(port, Post(kTtsPath, QByteArray("\0\xff", 2)))
                    .contains("Content-Type: audio/mpeg\r\n"));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);

    const QList<StandInRequest> requests = ReadRecordedRequests(record);
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[0].body, "q=1");
    EXPECT_EQ(requests[1].body, "q=2");
    EXPECT_EQ(requests[2].target, kTtsPath);
    EXPECT_EQ(requests[2].body, QByteArray("\0\xff", 2));
    EXPECT_EQ(requests[2].header("Content-Length"), "2");
}

TEST(StandInProgram, RefusesABadScript) {
    QProcess program;
    program.start(QStringLiteral(QUILL_STANDIN_EXE), {"--answer", "/x status=soon"});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_TRUE(program.readAllStandardError().contains("status needs a number"));
}

} // namespace
