// The speech service against the loopback stand-in: the recording is saved
// where asked, every failure ends the request.
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "speech/SpeechService.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

StandInAnswer Mp3(const QByteArray& body, int status = 200) {
    return StandInReply(body, status, {{"Content-Type", "audio/mpeg"}});
}

std::optional<SpeechResult> Speak(SpeechService& service, const QString& file) {
    std::optional<SpeechResult> result;
    QEventLoop loop;
    service.OnFinished = [&](const SpeechResult& r) {
        result = r;
        loop.quit();
    };
    if (!service.Start(u"你好", QStringLiteral("zh"), file))
        return std::nullopt;
    if (!result) {
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(SpeechService, SavesWhereAskedAndFailsOnEveryOtherEnding) {
    TempHome home;
    QTemporaryDir dir;
    const struct Row {
        const char* name;
        StandInAnswer answer;
        QString file;
        SpeechOutcome outcome;
    } rows[] = {
        {"saved to the given file", Mp3("ID3mp3"), dir.filePath("out.mp3"), SpeechOutcome::Saved},
        {"saved to the cache", Mp3("ID3mp3"), {}, SpeechOutcome::Saved},
        {"error status", Mp3("", 500), dir.filePath("err.mp3"), SpeechOutcome::Failed},
        {"file that cannot be made", Mp3("ID3mp3"), dir.filePath("no/such/folder/x.mp3"),
         SpeechOutcome::Failed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        standIn.SetAnswer(kTtsPath, row.answer);
        SpeechService service;
        const auto result = Speak(service, row.file);
        ASSERT_TRUE(result);
        EXPECT_EQ(int(result->outcome), int(row.outcome));
        EXPECT_FALSE(service.IsBusy());
        if (row.outcome == SpeechOutcome::Saved) {
            EXPECT_EQ(Bytes(result->file), "ID3mp3");
            if (!row.file.isEmpty()) {
                EXPECT_EQ(result->file, row.file);
            }
        } else {
            EXPECT_FALSE(QFile::exists(row.file));
        }
    }
}

TEST(SpeechService, NoEngineEndsTheRequestAtOnce) {
    TempHome home;
    qputenv("QUILLMATE_TTS_URL", "http://127.0.0.1:1/gettts");
    SpeechService service;
    const auto result = Speak(service, {});
    qunsetenv("QUILLMATE_TTS_URL");
    ASSERT_TRUE(result);
    EXPECT_EQ(int(result->outcome), int(SpeechOutcome::Failed));
}
