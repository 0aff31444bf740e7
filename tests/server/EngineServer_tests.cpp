// The engine server as the program and as a hostile client meet it: real
// sockets on loopback and a Unix socket, the program's own request bodies,
// real engines; the process itself for its command line, memory and CPU.
#include "EnvScope.h"
#include "RawHttp.h"
#include "engine/SpeechSynth.h"
#include "ocr/OcrRequest.h"
#include "server/EngineServer.h"
#include "speech/SpeechRequest.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <zlib.h>

namespace {

using namespace std::chrono_literals;

const std::string kToken = "0123456789abcdef0123456789abcdef";

QByteArray Jpeg(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

QImage TextPicture(const QString& text) {
    QImage image(420, 90, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(28);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(image.rect().adjusted(10, 0, 0, 0), Qt::AlignVCenter, text);
    return image;
}

// A real JPEG whose frame header claims 60000 x 60000 pixels.
std::string AbsurdJpeg() {
    QByteArray bytes = Jpeg(TextPicture("x").scaled(16, 16));
    const qsizetype frame = bytes.indexOf("\xFF\xC0");
    for (int i = 0; i < 4; ++i)
        bytes[frame + 5 + i] = i % 2 ? '\x60' : '\xEA'; // 0xEA60 = 60000
    return bytes.toStdString();
}

// 400 MB of zeros as gzip: about 400 KB on the wire.
const std::string& GzipBomb() {
    static const std::string bomb = [] {
        z_stream z{};
        deflateInit2(&z, 1, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
        std::string in(1 << 20, '\0'), out;
        char chunk[1 << 16];
        for (int i = 0; i < 400; ++i) {
            z.next_in = reinterpret_cast<Bytef*>(in.data());
            z.avail_in = static_cast<uInt>(in.size());
            const int flush = i == 399 ? Z_FINISH : Z_NO_FLUSH;
            do {
                z.next_out = reinterpret_cast<Bytef*>(chunk);
                z.avail_out = sizeof chunk;
                deflate(&z, flush);
                out.append(chunk, sizeof chunk - z.avail_out);
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
        return out;
    }();
    return bomb;
}

std::string ChunkedHead(const std::string& path, const std::string& contentType) {
    return "POST " + path + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + contentType +
           "\r\nTransfer-Encoding: chunked\r\n\r\n";
}

class EngineServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The server in this process reads aloud with the helper of the build.
        engine::SetSpeechHelper(QUILLMATE_SPEECH_PATH);
        dir_ = new QTemporaryDir;
        server::ServerOptions options;
        options.token = kToken;
        options.workers = 2;
        options.listen.resize(2);
        options.listen[1].kind = httpserver::ListenAddress::Kind::Unix;
        options.listen[1].path = dir_->filePath("engine.sock").toStdString();
        server_ = new server::EngineServer(options);
        std::string error;
        ASSERT_TRUE(server_->Bind(error)) << error;
        port_ = server_->Port();
        thread_ = new std::thread([] { server_->Serve(); });
    }
    static void TearDownTestSuite() {
        server_->Stop();
        thread_->join();
        delete thread_;
        delete server_;
        delete dir_;
    }

    static std::string Path(const std::string& name) { return "/" + kToken + "/" + name; }
    static std::string SocketPath() { return dir_->filePath("engine.sock").toStdString(); }
    static RawAnswer Send(const std::string& bytes) { return SendRaw(port_, bytes); }
    static bool Healthy(RawConnection connection, int timeoutMs = 20000) {
        const RawAnswer answer = SendRaw(std::move(connection), Get(Path("")), timeoutMs);
        return answer.status == 200 && answer.body == "quillmate-server\n";
    }
    static bool Healthy() { return Healthy(RawConnection::Tcp(port_)); }

    // The body and headers the program builds for a picture.
    static std::string ProgramUpload(OcrEngine engine, const QImage& picture,
                                     const QString& from = "auto") {
        const QString file = dir_->filePath("ocr.jpg");
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(Jpeg(picture));
        out.close();
        const OcrUploadRequest request = BuildOcrUpload(engine, file, from);
        std::string headers;
        for (const QString& line : request.headers)
            headers += line.toStdString() + "\r\n";
        const std::string path = Path(engine == OcrEngine::One ? "ocrapi1" : "getocr");
        return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
               "Content-Length: " + std::to_string(request.body.size()) + "\r\n\r\n" +
               request.body.toStdString();
    }

    static inline server::EngineServer* server_ = nullptr;
    static inline std::thread* thread_ = nullptr;
    static inline QTemporaryDir* dir_ = nullptr;
    static inline int port_ = 0;
};

TEST_F(EngineServerTest, AnswersTheProgramsOwnRequests) {
    const QImage picture = TextPicture("Hello world 你好");
    // Over the Unix socket, as the desktop talks to its own engine.
    const RawAnswer one =
        SendRaw(RawConnection::Unix(SocketPath()), ProgramUpload(OcrEngine::One, picture));
    ASSERT_EQ(one.status, 200) << one.body;
    EXPECT_NE(one.body.find("{\"words\":\"Hello world"), std::string::npos) << one.body;
    EXPECT_NE(one.body.find("你好"), std::string::npos) << one.body;

    const RawAnswer two = Send(ProgramUpload(OcrEngine::Two, picture, "zh"));
    ASSERT_EQ(two.status, 200) << two.body;
    EXPECT_EQ(two.body.rfind("{\"state\":0,\"lines\":[\"Hello world", 0), 0u) << two.body;
    EXPECT_NE(two.body.find("\\u4f60\\u597d"), std::string::npos) << two.body;

    const QByteArray form = SpeechPostData(QStringLiteral("Hello there"), "en");
    const RawAnswer speech =
        Send(Post(Path("gettts"), "application/x-www-form-urlencoded", form.toStdString()));
    ASSERT_EQ(speech.status, 200) << speech.body;
    // The program writes only answers with a length to the cache file.
    EXPECT_NE(speech.head.find("Content-Length: " + std::to_string(speech.body.size())),
              std::string::npos);
    EXPECT_NE(speech.head.find("Content-Type: audio/mpeg"), std::string::npos);
    ASSERT_GE(speech.body.size(), 2u);
    EXPECT_TRUE(speech.body.rfind("ID3", 0) == 0 ||
                (static_cast<unsigned char>(speech.body[0]) == 0xFF &&
                 (static_cast<unsigned char>(speech.body[1]) & 0xE0) == 0xE0));
}

TEST_F(EngineServerTest, OnlyPathsUnderTheTokenAreServed) {
    EXPECT_TRUE(Healthy());
    EXPECT_TRUE(Healthy(RawConnection::Unix(SocketPath())));
    for (const std::string& path : {std::string("/"), std::string("/ocrapi1"),
                                    "/" + kToken.substr(1) + "x/ocrapi1", "/x" + Path("gettts")})
        EXPECT_EQ(Send(Get(path)).status, 404) << path;
    EXPECT_EQ(Send(Post("/gettts", "application/x-www-form-urlencoded", "lan=en&text=hi")).status,
              404);
    EXPECT_EQ(Send(Get(Path("gettts"))).status, 405);
}

TEST_F(EngineServerTest, HostileRequestsGetOneErrorAndTheServerGoesOn) {
    const std::string multipart = "multipart/form-data; boundary=XyZ";
    const std::string goodStart =
        "--XyZ\r\nContent-Disposition: form-data; name=\"image\"; filename=\"ocr.jpg\"\r\n"
        "Content-Type: image/jpg\r\n\r\n";
    auto engineTwo = [&](const std::string& picture) {
        return Post(Path("getocr"), multipart,
                    goodStart + picture +
                        "\r\n--XyZ\r\nContent-Disposition: form-data; name=\"from\"\r\n\r\nen\r\n"
                        "--XyZ--\r\n");
    };
    const std::string form = "application/x-www-form-urlencoded";
    // Each refused body carries a request that must never be answered.
    const std::string smuggled = "GET " + Path("") + " HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string overChunked = ChunkedHead(Path("getocr"), multipart);
    const std::string megabyte(1 << 20, 'a');
    for (int i = 0; i < 21; ++i)
        overChunked += "100000\r\n" + megabyte + "\r\n";
    struct Case {
        const char* name;
        std::string request;
        int status;
    } const cases[] = {
        {"body over the limit",
         "POST " + Path("getocr") + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + multipart +
             "\r\nContent-Length: 30000000\r\n\r\n" + smuggled,
         413},
        {"chunked body over the limit", overChunked + "0\r\n\r\n", 413},
        {"compressed body",
         Post(Path("getocr"), multipart, GzipBomb(), "Content-Encoding: gzip\r\n"), 415},
        {"compressed bytes as a picture", engineTwo(GzipBomb()), 415},
        {"body without a length",
         "POST " + Path("gettts") + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + form + "\r\n\r\n" +
             smuggled,
         411},
        {"truncated multipart", Post(Path("getocr"), multipart, goodStart + "abc"), 400},
        {"multipart without boundary",
         Post(Path("getocr"), "multipart/form-data", goodStart + smuggled), 400},
        {"not multipart", Post(Path("ocrapi1"), form, "imgBase=x" + smuggled), 400},
        {"bad base64",
         Post(Path("ocrapi1"), multipart,
              "--XyZ\r\nContent-Disposition: form-data; name=\"imgBase\"\r\n\r\n"
              "data:image/jpeg;base64,@@@@\r\n\r\n--XyZ--\r\n"),
         400},
        {"bytes that are no picture", engineTwo("certainly not a picture"), 415},
        {"a picture of absurd size", engineTwo(AbsurdJpeg()), 413},
        {"empty text", Post(Path("gettts"), form, "lan=en&ie=UTF-8&text=&spd=5&source=web"), 400},
        {"text over the limit",
         Post(Path("gettts"), form, "lan=en&text=" + std::string(40000, 'a')), 413},
        {"speech body over its limit",
         Post(Path("gettts"), form, "lan=en&text=" + std::string(300000, 'a')), 413},
        {"unknown speech code", Post(Path("gettts"), form, "lan=klingon&text=hi"), 400},
        {"multipart speech",
         Post(Path("gettts"), multipart, goodStart + "x\r\n--XyZ--\r\n" + smuggled), 400},
        {"refused path with a request in its body",
         Post("/wrong", form, smuggled, "Connection: keep-alive\r\n"), 404},
        {"garbage request line", "\x01\x02 nonsense\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        RawConnection connection = RawConnection::Tcp(port_);
        connection.Send(c.request);
        connection.FinishSending();
        const std::vector<RawAnswer> answers = ParseAnswers(connection.Receive());
        ASSERT_EQ(answers.size(), 1u) << c.name;
        EXPECT_EQ(answers[0].status, c.status) << c.name << ": " << answers[0].body;
        EXPECT_TRUE(Healthy()) << "after " << c.name;
    }
}

TEST_F(EngineServerTest, ProbesAnswerWithinASecondDuringASlowloris) {
    // 200 clients, each sending its head a byte at a time: from one address
    // (its per-client cap holds most of them off) and from 200 addresses (all
    // admitted, each holding only its buffers, no thread).
    for (const bool oneAddress : {true, false}) {
        std::atomic<bool> stop = false;
        std::vector<std::thread> attackers;
        for (int group = 0; group < 4; ++group)
            attackers.emplace_back([&, group] {
                std::vector<RawConnection> slow;
                for (int i = 0; i < 50; ++i) {
                    const std::string from =
                        oneAddress ? "127.0.0.2" : "127.0.1." + std::to_string(group * 50 + i + 1);
                    slow.push_back(RawConnection::Tcp(port_, from.c_str()));
                }
                const std::string head = Post(Path("gettts"), "text/plain", "lan=en&text=hi");
                for (std::size_t at = 0; !stop && at < head.size(); ++at) {
                    for (RawConnection& connection : slow)
                        connection.Send(head.substr(at, 1));
                    std::this_thread::sleep_for(100ms);
                }
            });
        std::this_thread::sleep_for(500ms);
        for (int probe = 0; probe < 3; ++probe) {
            EXPECT_TRUE(Healthy(RawConnection::Tcp(port_), 1000)) << oneAddress;
            EXPECT_TRUE(Healthy(RawConnection::Unix(SocketPath()), 1000)) << oneAddress;
            std::this_thread::sleep_for(300ms);
        }
        stop = true;
        for (std::thread& attacker : attackers)
            attacker.join();
    }
    const QByteArray form = SpeechPostData(QStringLiteral("still here"), "en");
    EXPECT_EQ(
        Send(Post(Path("gettts"), "application/x-www-form-urlencoded", form.toStdString())).status,
        200);
}

TEST(EngineServerQueue, AFullQueueAnswers503AtOnce) {
    QTemporaryDir dir;
    QFile picture(dir.filePath("ocr.jpg"));
    picture.open(QIODevice::WriteOnly);
    picture.write(Jpeg(TextPicture("queue full")));
    picture.close();
    const OcrUploadRequest upload = BuildOcrUpload(OcrEngine::Two, picture.fileName(), "en");
    std::string request = "POST /getocr HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    for (const QString& line : upload.headers)
        request += line.toStdString() + "\r\n";
    request += "Content-Length: " + std::to_string(upload.body.size()) + "\r\n\r\n" +
               upload.body.toStdString();

    // One worker and one waiting place, whatever the machine's cores.
    server::ServerOptions options;
    options.workers = 1;
    options.maxWaitingJobs = 1;
    server::EngineServer server(options);
    std::string error;
    ASSERT_TRUE(server.Bind(error)) << error;
    std::thread serving([&] { server.Serve(); });
    std::vector<RawConnection> clients;
    for (int i = 0; i < 8; ++i)
        clients.push_back(RawConnection::Tcp(server.Port()));
    for (RawConnection& client : clients)
        client.Send(request);
    int served = 0, busy = 0;
    for (RawConnection& client : clients) {
        const std::vector<RawAnswer> answers = ParseAnswers(client.Receive(60000));
        ASSERT_EQ(answers.size(), 1u);
        served += answers[0].status == 200;
        if (answers[0].status == 503) {
            ++busy;
            EXPECT_NE(answers[0].head.find("Retry-After: 1"), std::string::npos);
        }
    }
    EXPECT_GE(served, 1);
    EXPECT_GE(busy, 1);
    EXPECT_EQ(served + busy, 8);
    EXPECT_EQ(SendRaw(server.Port(), request, 60000).status, 200);
    server.Stop();
    serving.join();
}

// The real program, with the token on its standard input.
class EngineProgram {
public:
    explicit EngineProgram(QStringList arguments, const QByteArray& input = {}) {
        // Under AddressSanitizer, memory it holds back after a free would
        // count as the server's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString sanitizer = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           sanitizer + (sanitizer.isEmpty() ? "" : ":") +
                               "quarantine_size_mb=0:thread_local_quarantine_size_kb=0");
        process_.setProcessEnvironment(environment);
        process_.start(QUILLMATE_SERVER_PATH, arguments);
        process_.waitForStarted();
        if (!input.isEmpty()) {
            process_.write(input);
            process_.waitForBytesWritten();
        }
        if (process_.waitForReadyRead(20000))
            readyLine_ = QString::fromUtf8(process_.readLine()).trimmed();
    }
    ~EngineProgram() {
        process_.kill();
        process_.waitForFinished();
    }
    const QString& ReadyLine() const { return readyLine_; }
    long Pid() const { return static_cast<long>(process_.processId()); }
    QProcess& Process() { return process_; }
    int Port() const { return readyLine_.section(':', 2).section('/', 0, 0).toInt(); }
    // User plus system time, in clock ticks.
    long CpuTicks() const {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(Pid()));
        stat.open(QIODevice::ReadOnly);
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        return fields.value(12).toLong() + fields.value(13).toLong();
    }

private:
    QProcess process_;
    QString readyLine_;
};

QString RunServer(const QStringList& arguments, int& exitCode, int waitMs = 10000) {
    QProcess process;
    process.start(QUILLMATE_SERVER_PATH, arguments);
    process.closeWriteChannel();
    process.waitForFinished(waitMs);
    exitCode = process.state() == QProcess::NotRunning ? process.exitCode() : -1;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

TEST(EngineServerCommandLine, HelpUsageAndIdleExit) {
    int code = 0;
    EXPECT_TRUE(RunServer({"--help"}, code).contains("--listen unix:PATH"));
    EXPECT_EQ(code, 0);
    for (const QStringList& bad :
         {QStringList{"--bogus"}, QStringList{"--listen", "nohost"},
          QStringList{"--listen", "unix:"}, QStringList{"--token", "a/b"},
          QStringList{"--idle-exit"}, QStringList{"--token", "a", "--token-stdin"},
          QStringList{"--token-stdin"}, QStringList{"--max-connections", "0"},
          QStringList{"--memory-budget", "8"}}) {
        EXPECT_TRUE(RunServer(bad, code).contains("quillmate-server: "))
            << bad.join(' ').toStdString();
        EXPECT_EQ(code, 2) << bad.join(' ').toStdString();
    }
    // The first line is the base URL; with nothing to do it leaves by itself.
    const QString output = RunServer({"--token", "abc", "--idle-exit", "1"}, code, 20000);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(
        QRegularExpression("^http://127\\.0\\.0\\.1:[0-9]+/abc/\n").match(output).hasMatch())
        << output.toStdString();
}

TEST(EngineServerCommandLine, TokenFromStandardInputAndAPrivateSocket) {
    QTemporaryDir dir;
    const QString socket = dir.filePath("engine.sock");
    const QByteArray token = "f00dfeed0123456789abcdef01234567";
    EngineProgram engine({"--listen", "unix:" + socket, "--token-stdin"}, token + "\n");
    EXPECT_EQ(engine.ReadyLine(), "unix:" + socket + " http://localhost/" + token + "/");
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(engine.Pid()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    EXPECT_FALSE(cmdline.readAll().contains(token));
    struct stat info {};
    ASSERT_EQ(::lstat(socket.toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    const RawAnswer answer =
        SendRaw(RawConnection::Unix(socket.toStdString()), Get("/" + token.toStdString() + "/"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "quillmate-server\n");

    // Ended by a signal, it takes its socket with it.
    ::kill(static_cast<pid_t>(engine.Pid()), SIGTERM);
    ASSERT_TRUE(engine.Process().waitForFinished(10000));
    EXPECT_EQ(engine.Process().exitCode(), 0);
    EXPECT_NE(::lstat(socket.toLocal8Bit().constData(), &info), 0);
}

TEST(EngineServerProcess, TheMemoryBudgetOptionBoundsEachPicture) {
    // 3000 x 3000 in colour needs far more than 32 MB for Tesseract (Japanese
    // goes to it), and well under the default budget.
    QImage picture(3000, 3000, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QTemporaryDir dir;
    const QString file = dir.filePath("ocr.jpg");
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(Jpeg(picture));
    out.close();
    const OcrUploadRequest upload = BuildOcrUpload(OcrEngine::Two, file, "jp");
    std::string request = "POST /t/getocr HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    for (const QString& line : upload.headers)
        request += line.toStdString() + "\r\n";
    request += "Content-Length: " + std::to_string(upload.body.size()) + "\r\n\r\n" +
               upload.body.toStdString();

    EngineProgram small({"--token", "t", "--memory-budget", "32"});
    ASSERT_GT(small.Port(), 0) << small.ReadyLine().toStdString();
    EXPECT_EQ(SendRaw(small.Port(), request, 60000).status, 413);
    EngineProgram usual({"--token", "t"});
    ASSERT_GT(usual.Port(), 0) << usual.ReadyLine().toStdString();
    EXPECT_EQ(SendRaw(usual.Port(), request, 120000).status, 200);
}

TEST(EngineServerProcess, HostileClientsLeaveMemoryBounded) {
    EngineProgram engine({"--token", "t", "--workers", "1"});
    ASSERT_GT(engine.Port(), 0) << engine.ReadyLine().toStdString();
    // One honest request first: the worker loads its models as it starts,
    // which is not what this test measures.
    EXPECT_EQ(SendRaw(engine.Port(),
                      Post("/t/gettts", "application/x-www-form-urlencoded", "lan=en&text=hi"))
                  .status,
              200);
    const long before = ResidentKiB(engine.Pid()).first;

    // 300 MB of request line, sent until the server hangs up.
    RawConnection line = RawConnection::Tcp(engine.Port());
    const std::string megabyte(1 << 20, 'a');
    line.Send("GET /");
    int sent = 0;
    while (sent < 300 && line.Send(megabyte))
        ++sent;
    EXPECT_LT(sent, 300);
    std::string header = "GET /t/ HTTP/1.1\r\n";
    while (header.size() < (8u << 20))
        header += "X-Flood: " + std::string(100, 'f') + "\r\n";
    const std::string multipart = "multipart/form-data; boundary=B";
    std::string chunked = ChunkedHead("/t/getocr", multipart);
    for (int i = 0; i < 60; ++i)
        chunked += "100000\r\n" + megabyte + "\r\n";
    struct Case {
        const char* name;
        std::string request;
        int status;
    } const cases[] = {
        {"header flood", header, 431},
        {"gzip bomb", Post("/t/getocr", multipart, GzipBomb(), "Content-Encoding: gzip\r\n"), 415},
        {"60 MB chunked", chunked + "0\r\n\r\n", 413},
    };
    for (const Case& c : cases) {
        std::vector<std::thread> clients;
        std::atomic<int> right = 0;
        for (int i = 0; i < 4; ++i)
            clients.emplace_back(
                [&] { right += SendRaw(engine.Port(), c.request).status == c.status; });
        for (std::thread& client : clients)
            client.join();
        EXPECT_EQ(right, 4) << c.name;
    }
    EXPECT_EQ(SendRaw(engine.Port(), Get("/t/")).status, 200);
    // Four 20 MB bodies at once at most, each held once while it is read.
    const long peak = ResidentKiB(engine.Pid()).first;
    EXPECT_LT(peak - before, 120 * 1024) << "from " << before << " KiB to " << peak << " KiB";
}

TEST(EngineServerProcess, IdleWatcherSleepsWhileARequestRuns) {
    // Without the recognition models: a worker loading them would spend the
    // CPU this test looks for (half a second under a sanitizer).
    QTemporaryDir noModels;
    ASSERT_TRUE(noModels.isValid());
    EnvScope env;
    env.Set("QUILLMATE_OCR_MODELS", QFile::encodeName(noModels.path()));
    EngineProgram engine({"--token", "t", "--idle-exit", "1", "--workers", "1"});
    ASSERT_GT(engine.Port(), 0);
    // A speech request whose body takes 3 s to arrive: three idle limits.
    const std::string body = "lan=en&text=" + std::string(88, 'a');
    RawConnection slow = RawConnection::Tcp(engine.Port());
    slow.Send("POST /t/gettts HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 100\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
    const long cpuBefore = engine.CpuTicks();
    for (std::size_t at = 0; at + 10 < body.size(); at += 10) {
        std::this_thread::sleep_for(300ms);
        slow.Send(body.substr(at, 10));
    }
    const long cpuTicks = engine.CpuTicks() - cpuBefore;
    slow.Send(body.substr(90));
    // The server neither left mid-request nor spun while waiting.
    const std::vector<RawAnswer> answers = ParseAnswers(slow.Receive());
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].status, 200);
    EXPECT_LT(cpuTicks, sysconf(_SC_CLK_TCK) / 4) << "CPU ticks while the request ran";
    EXPECT_TRUE(engine.Process().waitForFinished(10000));
    EXPECT_EQ(engine.Process().exitCode(), 0);
}

} // namespace
