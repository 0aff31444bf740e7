#include "PlantedListener.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "app/Main.h"
#include "engineclient/LocalEngine.h"
#include "speech/Mp3Player.h"
#include "speech/SpeechService.h"
#include "toolkit/CursorTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct Shown {
    QString text;
    int kind;
    int buttons;
};

const QString kNoSourceText = QStringLiteral("   请在原文输入框输入要朗读的文字。");
const QString kAutoDetect = QStringLiteral("   自动检测语言将无法朗读原文，请正确指定原文语言。");
const QString kNoTranslation = QStringLiteral("   译文显示框为空，请翻译后再使用朗读功能。");
const QByteArray kAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)";

// A short real recording, made once per test program.
const QByteArray& SpokenMp3() {
    static QByteArray bytes = [] {
        QTemporaryDir dir;
        const QString wav = dir.path() + "/ok.wav", mp3 = dir.path() + "/ok.mp3";
        if (QProcess::execute("espeak-ng", {"-w", wav, "okay"}) != 0 ||
            QProcess::execute("lame", {"--quiet", wav, mp3}) != 0)
            return QByteArray();
        QFile f(mp3);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    return bytes;
}

StandInAnswer Mp3Answer(const QByteArray& body) {
    StandInAnswer a;
    a.headers = {{"Content-Type", "audio/mpeg"}};
    a.body = body;
    return a;
}

class SpeechTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn_.IsListening());
        standIn_.PointEndpointsHere();
        TbsSkinMessage::SetAnswerer([this](const QString& text, int kind, int buttons) {
            shown_.push_back({text, kind, buttons});
            return int(TbsSkinMessage::mrOk);
        });
        form_.emplace();
        QObject::connect(&form_->Player(), &TMp3Player::Finished,
                         [this](const QString& path, bool played, qint64) {
                             finished_.push_back({path, played});
                         });
    }
    void TearDown() override {
        form_.reset();
        TbsSkinMessage::SetAnswerer(nullptr);
        SetScreenCursor(crDefault);
    }
    bool WaitIdle() {
        return WaitUntil([&] { return !form_->Speech().IsBusy() && ScreenCursor() == crDefault; },
                         15000);
    }
    QStringList CachedFiles() const {
        return QDir(home_.dataDir() + "/quilltts").entryList(QDir::Files);
    }

    TempHome home_;
    ServiceStandIn standIn_;
    std::vector<Shown> shown_;
    std::vector<std::pair<QString, bool>> finished_;
    std::optional<TForm1> form_;
};

TEST_F(SpeechTest, ReadsTheTranslationAndPlaysTheAnswer) {
    ASSERT_FALSE(SpokenMp3().isEmpty()) << "espeak-ng and lame are needed (scripts/deps.sh)";
    standIn_.SetAnswer(kTtsPath, Mp3Answer(SpokenMp3()));
    form_->TargetComboBox->SetItemIndex(2); // 英语
    form_->TntMemo2->setPlainText("ok");
    form_->Image2->click();
    EXPECT_EQ(ScreenCursor(), crAnimatedBusy);
    ASSERT_TRUE(WaitIdle());

    ASSERT_EQ(standIn_.RequestCount(), 1);
    const StandInRequest r = standIn_.Requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path(), kTtsPath);
    EXPECT_EQ(r.body, "lan=en&ie=UTF-8&text=ok&spd=5&source=web");
    EXPECT_EQ(r.header("User-Agent"), kAgent);
    EXPECT_TRUE(shown_.empty());

    // The answer is stored under the tick count and played from there.
    const QString file = form_->Speech().LastSpeechFile();
    EXPECT_TRUE(QFileInfo(file).fileName().contains(QRegularExpression("^[0-9]+\\.mp3$")))
        << file.toStdString();
    EXPECT_EQ(QFileInfo(file).absolutePath(), home_.dataDir() + "/quilltts");
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), SpokenMp3());
    ASSERT_TRUE(WaitUntil([&] { return !finished_.empty(); }, 20000));
    EXPECT_EQ(finished_[0].first, file);
    EXPECT_TRUE(finished_[0].second);
}

TEST_F(SpeechTest, SourceBoxUsesTheSourceSpeechCodeInFullUnicode) {
    standIn_.SetAnswer(kTtsPath, Mp3Answer("not really audio"));
    const struct {
        int position;
        QString text;
        QByteArray body;
    } cases[] = {
        {6, QString::fromUtf8("Ça va"), "lan=fra&ie=UTF-8&text=%C3%87a%20va&spd=5&source=web"},
        // Albanian has no speech code of its own.
        {9, "mire", "lan=zh&ie=UTF-8&text=mire&spd=5&source=web"},
        {1, QString::fromUtf8("你好\n"),
         "lan=zh&ie=UTF-8&text=%E4%BD%A0%E5%A5%BD%0D%0A&spd=5&source=web"},
    };
    for (const auto& c : cases) {
        standIn_.ClearRequests();
        form_->SourceComboBox->SetItemIndex(c.position);
        form_->TntMemo1->setPlainText(c.text);
        form_->Image1->click();
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(standIn_.RequestCount(), 1) << c.position;
        EXPECT_EQ(standIn_.Requests()[0].body, c.body);
    }
    EXPECT_TRUE(shown_.empty());
}

TEST_F(SpeechTest, RefusedClicksSendNothing) {
    const struct {
        const char* name;
        int source;
        QString sourceText, translation;
        bool translationBox;
        QString message;
    } cases[] = {
        {"empty source", 3, "", "x", false, kNoSourceText},
        {"automatic detection", 0, "hello", "", false, kAutoDetect},
        {"empty translation", 3, "hello", "", true, kNoTranslation},
    };
    for (const auto& c : cases) {
        shown_.clear();
        form_->SourceComboBox->SetItemIndex(c.source);
        form_->TntMemo1->setPlainText(c.sourceText);
        form_->TntMemo2->setPlainText(c.translation);
        (c.translationBox ? form_->Image2 : form_->Image1)->click();
        ASSERT_EQ(shown_.size(), 1u) << c.name;
        EXPECT_EQ(shown_[0].text, c.message) << c.name;
        EXPECT_EQ(shown_[0].kind, 2);
        EXPECT_EQ(shown_[0].buttons, 4);
        EXPECT_EQ(ScreenCursor(), crDefault);
    }
    EXPECT_EQ(standIn_.RequestCount(), 0);
}

TEST_F(SpeechTest, ChunkedAnswerLeavesNoFileAndNoSound) {
    StandInAnswer chunked = Mp3Answer(QByteArray(3000, 'x'));
    chunked.chunkSize = 512;
    standIn_.SetAnswer(kTtsPath, chunked);
    form_->TntMemo2->setPlainText("ok");
    form_->Image2->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(standIn_.RequestCount(), 1);
    EXPECT_FALSE(QFile::exists(form_->Speech().LastSpeechFile()));
    EXPECT_EQ(form_->Player().ActiveCount(), 0);
    EXPECT_TRUE(finished_.empty());
    EXPECT_TRUE(shown_.empty());
}

TEST_F(SpeechTest, FailuresOnlyBringTheCursorBack) {
    const struct {
        const char* name;
        std::function<void(ServiceStandIn&)> arrange;
    } cases[] = {
        {"404", [](ServiceStandIn&) {}},
        {"cut short",
         [](ServiceStandIn& s) {
             StandInAnswer a = Mp3Answer(QByteArray(4000, 'x'));
             a.closeAfter = 100;
             s.SetAnswer(kTtsPath, a);
         }},
        {"unreachable",
         [](ServiceStandIn&) { qputenv("QUILLMATE_TTS_URL", "http://127.0.0.1:1/gettts"); }},
    };
    for (const auto& c : cases) {
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        c.arrange(standIn);
        form_->TntMemo2->setPlainText("ok");
        form_->Image2->click();
        ASSERT_TRUE(WaitIdle()) << c.name;
        EXPECT_TRUE(shown_.empty()) << c.name;
        EXPECT_EQ(form_->Player().ActiveCount(), 0) << c.name;
    }
    EXPECT_TRUE(finished_.empty());
}

TEST_F(SpeechTest, SecondClickWhileBusyIsIgnoredThenANewFileIsMade) {
    StandInAnswer slow = Mp3Answer("slow");
    slow.headerDelayMs = 600;
    standIn_.SetAnswer(kTtsPath, slow);
    form_->TntMemo1->setPlainText("one");
    form_->SourceComboBox->SetItemIndex(3);
    form_->Image1->click();
    const QString first = form_->Speech().LastSpeechFile();
    form_->TntMemo2->setPlainText("two");
    form_->Image2->click();
    EXPECT_EQ(form_->Speech().LastSpeechFile(), first);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(standIn_.RequestCount(), 1);

    standIn_.SetAnswer(kTtsPath, Mp3Answer("fast"));
    form_->Image2->click();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(standIn_.RequestCount(), 2);
    EXPECT_NE(form_->Speech().LastSpeechFile(), first);
    EXPECT_EQ(CachedFiles().size(), 2);
}

TEST_F(SpeechTest, MissingCacheFolderIsMadeAgain) {
    standIn_.SetAnswer(kTtsPath, Mp3Answer("bytes"));
    ASSERT_TRUE(QDir(home_.dataDir() + "/quilltts").removeRecursively());
    form_->TntMemo2->setPlainText("ok");
    form_->Image2->click();
    ASSERT_TRUE(WaitIdle());
    QFile stored(form_->Speech().LastSpeechFile());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), "bytes");
}

// The window's own engine, with nothing configured: a socket left where a
// dead engine was, held by another process (or another user), hears
// nothing; a fresh engine reads the box.
TEST_F(SpeechTest, TheLocalEngineIsProvenBeforeTheTextGoes) {
    qunsetenv("QUILLMATE_TTS_URL");
    QTemporaryDir runtime;
    LocalEngineSettings settings;
    settings.program = QUILLMATE_SERVER_PATH;
    settings.runtimeFolder = runtime.path() + "/quillmate";
    LocalEngine::Instance().Configure(settings);
    const QString socket = settings.runtimeFolder + "/engine.sock";
    for (const uid_t owner : {::geteuid(), uid_t(65534)}) {
        SCOPED_TRACE(owner);
        if (owner != ::geteuid() && ::geteuid() != 0)
            continue; // changing a file's owner needs root
        const FoundEngine dead = FindOrStartEngine(settings);
        ASSERT_FALSE(dead.baseUrl.isEmpty()) << dead.error.toStdString();
        ::kill(static_cast<pid_t>(dead.pid), SIGKILL);
        QFile::remove(socket);
        const auto impostor = PlantedListener::OnUnixSocket(socket, owner);
        ASSERT_TRUE(impostor);

        form_->TargetComboBox->SetItemIndex(2); // 英语
        form_->TntMemo2->setPlainText("secret words");
        form_->Image2->click();
        ASSERT_TRUE(WaitIdle());
        QFile stored(form_->Speech().LastSpeechFile());
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        const QByteArray head = stored.read(3);
        EXPECT_TRUE(head == "ID3" || (uchar(head[0]) == 0xFF && (uchar(head[1]) & 0xE0) == 0xE0));
        EXPECT_EQ(impostor->Received(), QByteArray());
        const FoundEngine fresh = FindOrStartEngine(settings);
        EXPECT_NE(fresh.pid, dead.pid);
        ::kill(static_cast<pid_t>(fresh.pid), SIGKILL);
    }
    EXPECT_EQ(standIn_.RequestCount(), 0);
    EXPECT_TRUE(shown_.empty());
}

} // namespace
