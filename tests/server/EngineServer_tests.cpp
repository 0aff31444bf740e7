// The engine server as the program and as a hostile client meet it: real
// sockets on loopback, the program's own request bodies, real engines.
#include "RawHttp.h"
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
#include <gtest/gtest.h>
#include <thread>

namespace {

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

class EngineServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        server::ServerOptions options;
        options.token = kToken;
        options.workers = 2;
        server_ = new server::EngineServer(options);
        std::string error;
        ASSERT_TRUE(server_->Bind(error)) << error;
        const std::string url = server_->BaseUrl();
        port_ = std::stoi(url.substr(url.rfind(':') + 1));
        thread_ = new std::thread([] { server_->Serve(); });
        dir_ = new QTemporaryDir;
    }
    static void TearDownTestSuite() {
        server_->Stop();
        thread_->join();
        delete thread_;
        delete server_;
        delete dir_;
    }

    static std::string Path(const std::string& name) { return "/" + kToken + "/" + name; }
    static RawAnswer Send(const std::string& bytes) { return SendRaw(port_, bytes); }
    static bool Healthy() {
        const RawAnswer answer = Send(Get(Path("")));
        return answer.status == 200 && answer.body == "quillmate-server\n";
    }

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
    const RawAnswer one = Send(ProgramUpload(OcrEngine::One, picture));
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
    for (const std::string& path : {std::string("/"), std::string("/ocrapi1"),
                                    "/" + kToken.substr(1) + "x/ocrapi1", "/x" + Path("gettts")})
        EXPECT_EQ(Send(Get(path)).status, 404) << path;
    EXPECT_EQ(Send(Post("/gettts", "application/x-www-form-urlencoded", "lan=en&text=hi")).status,
              404);
}

TEST_F(EngineServerTest, HostileRequestsGetErrorsAndTheServerGoesOn) {
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
    struct Case {
        const char* name;
        std::string request;
        int status;
    } const cases[] = {
        {"body over the limit",
         "POST " + Path("getocr") + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + multipart +
             "\r\nContent-Length: 30000000\r\n\r\n",
         413},
        {"truncated multipart", Post(Path("getocr"), multipart, goodStart + "abc"), 400},
        {"multipart without boundary", Post(Path("getocr"), "multipart/form-data", goodStart), 400},
        {"not multipart", Post(Path("ocrapi1"), form, "imgBase=x"), 400},
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
        {"multipart speech", Post(Path("gettts"), multipart, goodStart + "x\r\n--XyZ--\r\n"), 400},
        {"garbage request line", "\x01\x02 nonsense\r\n\r\n", 400},
    };
    for (const Case& c : cases) {
        const RawAnswer answer = Send(c.request);
        EXPECT_EQ(answer.status, c.status) << c.name << ": " << answer.body;
        EXPECT_TRUE(Healthy()) << "after " << c.name;
    }
}

TEST_F(EngineServerTest, FiftyAtOnceAreServedOrToldToWait) {
    const std::string request = ProgramUpload(OcrEngine::Two, TextPicture("fifty"), "en");
    std::atomic<int> served = 0, busy = 0, other = 0;
    std::vector<std::thread> clients;
    for (int i = 0; i < 50; ++i)
        clients.emplace_back([&] {
            const int status = SendRaw(port_, request, 120000).status;
            (status == 200 ? served : status == 503 ? busy : other)++;
        });
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(other, 0);
    EXPECT_GT(served, 0);
    EXPECT_EQ(served + busy, 50);
    EXPECT_TRUE(Healthy());
}

QString RunServer(const QStringList& arguments, int& exitCode, int waitMs = 10000) {
    QProcess process;
    process.start(QUILLMATE_SERVER_PATH, arguments);
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
    EXPECT_TRUE(RunServer({"--help"}, code).contains("--listen HOST:PORT"));
    EXPECT_EQ(code, 0);
    for (const QStringList& bad : {QStringList{"--bogus"}, QStringList{"--listen", "nohost"},
                                   QStringList{"--token", "a/b"}, QStringList{"--idle-exit"}}) {
        EXPECT_TRUE(RunServer(bad, code).contains("Usage:")) << bad.join(' ').toStdString();
        EXPECT_EQ(code, 2) << bad.join(' ').toStdString();
    }
    // The first line is the base URL; with nothing to do it leaves by itself.
    const QString output = RunServer({"--token", "abc", "--idle-exit", "1"}, code, 20000);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(
        QRegularExpression("^http://127\\.0\\.0\\.1:[0-9]+/abc/\n").match(output).hasMatch())
        << output.toStdString();
}

} // namespace
