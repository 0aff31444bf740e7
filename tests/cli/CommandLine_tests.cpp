// "quillmate <command>" as a process against the loopback stand-in, with no
// display in its environment.
#include "PlantedListener.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"
#include "speech/SpeechRequest.h"
#include "translate/LanguageCatalog.h"
#include "translate/TranslateService.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kAnswer =
    R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao"]],null,"en"])";

struct Outcome {
    int status = -1;
    QString out, err;
};

int SourceIndex(const char* code) {
    for (int i = 0; i < SourceLanguageItems().size(); ++i)
        if (SourceLangCode(i) == QLatin1String(code))
            return i;
    return -1;
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.PointEndpointsHere();
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
    }

    // outputFile: standard output goes there instead.
    Outcome Quillmate(const QStringList& args, const QByteArray& input = {},
                      const QString& outputFile = {}) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        process.setProcessEnvironment(env);
        if (!outputFile.isEmpty())
            process.setStandardOutputFile(outputFile);
        process.start(QStringLiteral(QUILLMATE_PATH), args);
        if (!process.waitForStarted(10000))
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
        }
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    TempHome home;
    QTemporaryDir runtime;
    ServiceStandIn standIn;
};

} // namespace

TEST_F(CommandLine, TranslateSendsTheWindowsRequestAndPrintsTheLines) {
    standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));
    {
        TForm1 form;
        form.SourceComboBox->setCurrentIndex(SourceIndex("en"));
        form.TargetComboBox->setCurrentIndex(SourceIndex("zh-CN") - 1);
        ASSERT_EQ(TargetLangCode(form.TargetComboBox->currentIndex()), "zh-CN");
        form.TntMemo1->setPlainText("Good morning\nThank you");
        form.bsSkinButton7Click(&form);
        ASSERT_TRUE(WaitUntil([&] { return !form.Translation().IsBusy(); }));
    }
    ASSERT_EQ(standIn.RequestCount(), 1);
    const StandInRequest window = standIn.Requests().front();

    const struct Row {
        const char* name;
        QStringList args;
        QByteArray input;
    } rows[] = {
        {"standard input", {"translate", "-s", "en", "-t", "zh-CN"}, "Good morning\nThank you\n"},
        {"names, CR LF input",
         {"translate", "-s", "英语", "-t", "简体中文"},
         "Good morning\r\nThank you"},
        {"arguments", {"translate", "-s", "EN", "-t", "zh-cn", "Good", "morning"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        standIn.ClearRequests();
        const Outcome run = Quillmate(row.args, row.input);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, QStringLiteral("早上好\n谢谢\n"));
        ASSERT_EQ(standIn.RequestCount(), 1);
        const StandInRequest cli = standIn.Requests().front();
        EXPECT_EQ(cli.target, window.target);
        if (row.input.isEmpty()) {
            EXPECT_TRUE(cli.body.endsWith("&q=Good%20morning")) << cli.body.toStdString();
        } else {
            EXPECT_EQ(cli.headers, window.headers);
            EXPECT_EQ(cli.body, window.body);
        }
    }
}

TEST_F(CommandLine, JsonOutput) {
    standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));
    const Outcome run = Quillmate({"translate", "--json", "-s", "en", "-t", "zh-CN", "hi"});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject object = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(object["source"].toString(), "en");
    EXPECT_EQ(object["target"].toString(), "zh-CN");
    EXPECT_EQ(object["text"].toString(), QStringLiteral("早上好\n谢谢"));
    EXPECT_EQ(object["lines"].toArray().size(), 2);

    const Outcome list = Quillmate({"languages", "--json"});
    ASSERT_EQ(list.status, 0);
    const QJsonArray rows = QJsonDocument::fromJson(list.out.toUtf8())["languages"].toArray();
    ASSERT_EQ(rows.size(), SourceLanguageItems().size());
    const QJsonObject english = rows[SourceIndex("en")].toObject();
    EXPECT_EQ(english["name"].toString(), QStringLiteral("英语"));
    EXPECT_EQ(english["speech"].toString(), SourceSpeechCode(SourceIndex("en")));
}

TEST_F(CommandLine, ExitStatusAndMessages) {
    StandInAnswer busy = StandInReply("busy", 503);
    const struct Row {
        const char* name;
        QStringList args;
        QByteArray input;
        int status;
        QString message; // a line of standard error
        int requests;
    } rows[] = {
        {"unknown option", {"translate", "-x"}, {}, 2, QStringLiteral("未知的选项：-x"), 0},
        {"unknown code",
         {"translate", "-s", "xx", "a"},
         {},
         2,
         QStringLiteral("未知的语言：xx"),
         0},
        {"equal languages",
         {"translate", "-s", "en", "-t", "en", "a"},
         {},
         2,
         QStringLiteral("原文语言不能与译文语言相同！"),
         0},
        {"empty text",
         {"translate", "-s", "en", "-t", "zh-CN"},
         "\n",
         2,
         QStringLiteral("请输入要翻译的原文文本！"),
         0},
        {"service fails",
         {"translate", "-s", "en", "-t", "zh-CN", "a"},
         {},
         1,
         QStringLiteral("连接服务器超时，请稍后重试。"),
         1},
        {"picture unreadable",
         {"ocr", "/nonexistent.png"},
         {},
         2,
         QStringLiteral("无法读取图片"),
         0},
        // Without a display: the usage, never the window's abort.
        {"mistyped command", {"tranlate", "hi"}, {}, 2, QStringLiteral("未知的命令：tranlate"), 0},
        {"the window without a display", {}, {}, 1, QStringLiteral("找不到图形显示"), 0},
        {"a window request and more",
         {"--show", "now"},
         {},
         2,
         QStringLiteral("多余的参数：now"),
         0},
        {"standard input past 1 MiB",
         {"translate", "-s", "en", "-t", "zh-CN"},
         QByteArray(1024 * 1024 + 1, 'a'),
         2,
         QStringLiteral("标准输入超过 1 MiB"),
         0},
        // Exactly 1 MiB is read, and then is too long to be read aloud.
        {"standard input of 1 MiB",
         {"speak", "-l", "en"},
         QByteArray(1024 * 1024, 'a'),
         2,
         QStringLiteral("要朗读的文字过长：1048576 字节"),
         0},
        {"text past the speech limit",
         {"speak", "-l", "en", QString(6667, QChar(0x4F60))},
         {},
         2,
         QStringLiteral("要朗读的文字过长：20001 字节"),
         0},
    };
    standIn.SetAnswer(kTranslatePath, busy);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        standIn.ClearRequests();
        const Outcome run = Quillmate(row.args, row.input);
        EXPECT_EQ(run.status, row.status);
        EXPECT_TRUE(run.err.contains(row.message)) << run.err.toStdString();
        EXPECT_EQ(run.err.contains(QStringLiteral("用法：")), row.status == 2);
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_EQ(standIn.RequestCount(), row.requests);
    }
}

TEST_F(CommandLine, SpeakWritesTheRecording) {
    StandInAnswer mp3 = StandInReply("ID3 recording");
    mp3.headers = {{"Content-Type", "audio/mpeg"}};
    standIn.SetAnswer(kTtsPath, mp3);
    QTemporaryDir dir;
    const QString file = dir.filePath("hello.mp3");
    // The longest text the engine reads: 20,000 bytes of UTF-8.
    const QString longest = QString(6666, QChar(0x4F60)) + "ab";
    const struct {
        QStringList words;
        QString text;
    } rows[] = {{{"hello", "there"}, "hello there"}, {{longest}, longest}};
    for (const auto& row : rows) {
        standIn.ClearRequests();
        const Outcome run = Quillmate(QStringList{"speak", "-l", "en", "-o", file} + row.words);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        QFile saved(file);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_EQ(saved.readAll(), "ID3 recording");
        ASSERT_EQ(standIn.RequestCount(), 1);
        EXPECT_EQ(standIn.Requests().front().body,
                  SpeechPostData(row.text, SourceSpeechCode(SourceIndex("en"))));
    }
}

// Output that never arrives is a failure, whatever else went well.
TEST_F(CommandLine, OutputThatCannotBeWrittenIsExitOne) {
    standIn.SetAnswer(kTranslatePath, StandInReply(kAnswer));
    const QStringList rows[] = {
        {"languages"},
        {"--help"},
        {"translate", "-s", "en", "-t", "zh-CN", "hi"},
    };
    for (const QStringList& args : rows) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome run = Quillmate(args, {}, QStringLiteral("/dev/full"));
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(QStringLiteral("无法写出结果"))) << run.err.toStdString();
    }
}

TEST_F(CommandLine, OcrSendsThePreparedPicture) {
    standIn.SetAnswer(kOcr2Path, StandInReply(R"({"state":0,"lines":["\u4f60\u597d","world"]})"));
    QTemporaryDir dir;
    const QString picture = dir.filePath("shot.png");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::black);
    ASSERT_TRUE(image.save(picture));
    const Outcome run = Quillmate({"ocr", "-e", "2", "-s", "en", picture});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("你好\nworld\n"));
    ASSERT_EQ(standIn.RequestCount(), 1);
    const StandInRequest request = standIn.Requests().front();
    EXPECT_EQ(request.path(), kOcr2Path);
    // A small picture goes out on the white canvas, as a JPEG named as the capture's.
    const qsizetype at = request.body.indexOf("filename=\"ocr.jpg\"");
    ASSERT_GE(at, 0);
    const qsizetype jpeg = request.body.indexOf("\xFF\xD8", at);
    ASSERT_GE(jpeg, 0);
    const QImage sent = QImage::fromData(request.body.mid(jpeg), "JPEG");
    EXPECT_GT(sent.width(), image.width());
    EXPECT_EQ(sent.pixelColor(0, 0).lightness() > 200, true);
}

TEST_F(CommandLine, ASecondStartHandsOverToTheRunningWindowAndExits) {
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString socket = runtime.path() + "/quillmate/instance";
    const auto start = [&](const QStringList& args) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(QUILLMATE_PATH), args);
        return process;
    };
    // Someone listens there (a stale socket refuses the connection).
    const auto listening = [&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(socket).constData(),
                     sizeof address.sun_path - 1);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    };
    for (const char* round : {"first window", "after a window that died"}) {
        SCOPED_TRACE(round);
        const auto window = start({});
        ASSERT_TRUE(window->waitForStarted());
        // The window listens on a socket of its own, in place of a stale one.
        ASSERT_TRUE(WaitUntil(listening, 20000));
        for (const char* request : {"--show", ""}) {
            const auto second = start(request[0] ? QStringList{request} : QStringList{});
            ASSERT_TRUE(second->waitForFinished(10000));
            EXPECT_EQ(second->exitCode(), 0);
        }
        EXPECT_EQ(window->state(), QProcess::Running);
        // Killed, it leaves its socket behind for the next round.
        window->kill();
        window->waitForFinished();
    }
}

namespace {

bool Alive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype end = text.lastIndexOf(')');
    return end > 0 && text.size() > end + 2 && text[end + 2] != 'Z';
}

void EndEngine(qint64 pid) {
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    WaitUntil([&] { return !Alive(pid); }, 5000);
}

// What the running engine published: its ready line and pid.
QList<QByteArray> Published(const QString& folder) {
    QFile file(folder + "/engine");
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}

bool LooksLikeMp3(const QByteArray& head) {
    return head.startsWith("ID3") ||
           (head.size() > 1 && uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0);
}

} // namespace

// The program's own engine, with nothing configured: what is left where a
// dead engine was, or what another user planted there, hears nothing; a fresh
// engine reads the words.
TEST_F(CommandLine, SpeakTalksOnlyToItsOwnEngine) {
    qunsetenv("QUILLMATE_TTS_URL");
    const QString folder = runtime.path() + "/quillmate";
    const QString socket = folder + "/engine.sock";
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("out.mp3");
    const QStringList speak{"speak",  "-l",   QStringLiteral("英语"), "-o", mp3, "my",
                            "secret", "words"};
    const struct Row {
        const char* name;
        bool needsRoot;
        std::function<std::unique_ptr<PlantedListener>(const QList<QByteArray>& dead)> plant;
    } rows[] = {
        {"a listener at an old TCP address", false,
         [&](const QList<QByteArray>& dead) {
             std::unique_ptr<PlantedListener> tcp;
             for (uint16_t port = 20000 + (::getpid() % 20000); !tcp; ++port)
                 if ((tcp = PlantedListener::OnTcpPort(port))) {
                     QFile file(folder + "/engine");
                     file.open(QIODevice::WriteOnly | QIODevice::Truncate);
                     file.write("http://127.0.0.1:" + QByteArray::number(port) + "/" +
                                QByteArray(32, 'a') + "/\n" + dead.value(1) + "\n");
                 }
             return tcp;
         }},
        {"another user's socket in the engine's place", true,
         [&](const QList<QByteArray>&) { return PlantedListener::OnUnixSocket(socket, 65534); }},
        {"a socket of ours that another process holds", false,
         [&](const QList<QByteArray>&) {
             return PlantedListener::OnUnixSocket(socket, ::geteuid());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.needsRoot && ::geteuid() != 0)
            continue; // changing a file's owner needs root
        // An engine that ran and died.
        Outcome run = Quillmate(speak);
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        const QList<QByteArray> dead = Published(folder);
        ASSERT_GE(dead.size(), 2);
        EndEngine(dead[1].toLongLong());
        QFile::remove(socket);
        QFile::remove(mp3);
        const std::unique_ptr<PlantedListener> impostor = row.plant(dead);
        ASSERT_TRUE(impostor);

        run = Quillmate(speak);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QFile recording(mp3);
        ASSERT_TRUE(recording.open(QIODevice::ReadOnly));
        EXPECT_TRUE(LooksLikeMp3(recording.read(4)));
        EXPECT_EQ(impostor->Received(), QByteArray());
        const QList<QByteArray> fresh = Published(folder);
        ASSERT_GE(fresh.size(), 2);
        EXPECT_NE(fresh[1], dead[1]);
        EXPECT_FALSE(fresh[0].contains("127.0.0.1"));
        EndEngine(fresh[1].toLongLong());
    }
    EXPECT_EQ(standIn.RequestCount(), 0);
}
