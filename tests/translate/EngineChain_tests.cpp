// The chain: google first, libretranslate second, both on the stand-in, with
// the rests in a file of the test's own. Which engine answers, which ones
// were asked, and how long the first one rests.
#include "EngineTestUtil.h"
#include "StalledListener.h"
#include "TempHome.h"
#include "translate/engines/RestStore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char kLibrePath[] = "/libre/translate";
constexpr qint64 kMinute = 60'000;
const QString kTimedOut = QStringLiteral("   连 接 服 务 器 超 时 ，请 稍 后 重 试 。");
const QString kServerFailed = QStringLiteral("  连 接 的 服 务 器 出 现 故 障 ！请 稍 后 再 试！");

StandInAnswer GoogleSays(const QByteArray& text) {
    return StandInReply("[[[\"" + text + "\",\"x\"],[null,null,\"x\"]],null,\"en\"]");
}

qint64 Now() {
    return QDateTime::currentMSecsSinceEpoch();
}

EngineFailure TooManyRequests() {
    return {FailureKind::Refused, 429, -1, TranslateOutcome::HttpError};
}

class EngineChain : public ::testing::Test {
protected:
    TranslateConfig Chain(std::optional<QString> googleUrl = std::nullopt) const {
        TranslateConfig config;
        config.engines << GoogleAt(standIn) << LibreAt(standIn);
        if (googleUrl)
            config.engines[0].url = *googleUrl;
        config.restsFile = dir.filePath("rests");
        return config;
    }
    std::optional<EngineRest> RestOf(const QString& engine) const {
        const RestMap rests = RestStore(dir.filePath("rests")).Load(Now());
        return rests.contains(engine) ? std::optional(rests[engine]) : std::nullopt;
    }
    QList<QByteArray> Asked() const {
        QList<QByteArray> paths;
        for (const StandInRequest& r : standIn.Requests())
            paths << r.path();
        return paths;
    }

    QTemporaryDir dir;
    ServiceStandIn standIn;
};

TEST_F(EngineChain, AFailingEngineHandsOverAndRestsAsItsFailureSays) {
    std::optional<ServiceStandIn> gone(std::in_place); // its port is free once it goes
    const QString refusedUrl = gone->Url(u"/translate_a/single");
    gone.reset();
    StalledListener stalled;
    ASSERT_TRUE(stalled.Stalls());
    const QString stalledUrl =
        QStringLiteral("http://127.0.0.1:%1/translate_a/single").arg(stalled.Port());
    const struct Row {
        const char* name;
        std::optional<StandInAnswer> google;
        std::optional<QString> googleUrl;
        std::optional<qint64> restMs; // of google; none: it does not rest
        RestReason reason = RestReason::Busy;
    } rows[] = {
        {"429", StandInReply("", 429), {}, kMinute},
        {"429 with Retry-After", StandInReply("", 429, {{"Retry-After", "120"}}), {}, 2 * kMinute},
        {"403", StandInReply("forbidden", 403), {}, kMinute},
        {"503", StandInReply("busy", 503), {}, std::nullopt},
        {"400", StandInReply("bad", 400), {}, std::nullopt},
        {"unreadable", StandInReply("<html>captcha</html>"), {}, std::nullopt},
        {"refused connection", {}, refusedUrl, 5 * kMinute, RestReason::Down},
        {"host that never completes the connection", {}, stalledUrl, 5 * kMinute, RestReason::Down},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(dir.filePath("rests"));
        standIn.ClearRequests();
        if (row.google)
            standIn.SetAnswer(kTranslatePath, *row.google);
        standIn.SetAnswer(kLibrePath, Json(R"({"translatedText":"第二"})"));
        TranslateService service(Chain(row.googleUrl));
        const qint64 before = Now();
        const auto result = Translate(service, "en", "zh-CN", "second");
        const qint64 after = Now();
        ASSERT_TRUE(result);
        EXPECT_EQ(result->engine, "LibreTranslate");
        EXPECT_EQ(result->text, "第二\r\n");
        // A blocked host costs the chain's connect limit, not the usual 15 s.
        EXPECT_LT(after - before, kChainConnectLimitMs + 4000);
        const QList<QByteArray> asked = row.google ? QList<QByteArray>{kTranslatePath, kLibrePath}
                                                   : QList<QByteArray>{kLibrePath};
        EXPECT_EQ(Asked(), asked);
        const std::optional<EngineRest> rest = RestOf("google");
        ASSERT_EQ(rest.has_value(), row.restMs.has_value());
        if (rest) {
            EXPECT_GE(rest->untilMs, before + *row.restMs);
            EXPECT_LE(rest->untilMs, after + *row.restMs);
            EXPECT_EQ(rest->reason, row.reason);
        }
        EXPECT_FALSE(RestOf("libretranslate"));
    }
}

TEST_F(EngineChain, WhenAllFailTheWindowGetsTheLastFailuresMessage) {
    const struct Row {
        const char* name;
        StandInAnswer google, libre;
        TranslateOutcome outcome;
        QString message;
        int status;
    } rows[] = {
        {"both errors", StandInReply("", 500), Json("{}", 502), TranslateOutcome::HttpError,
         kTimedOut, 502},
        {"the last without a status", StandInReply("", 429),
         [] {
             StandInAnswer a;
             a.hangUp = true;
             return a;
         }(),
         TranslateOutcome::HostUnreachable, kServerFailed, -1},
        {"the last unreadable", StandInReply("", 503), Json("[]"), TranslateOutcome::Translated,
         QString(), 200},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QFile::remove(dir.filePath("rests"));
        standIn.SetAnswer(kTranslatePath, row.google);
        standIn.SetAnswer(kLibrePath, row.libre);
        TranslateService service(Chain());
        const auto result = Translate(service, "en", "zh-CN", "x");
        ASSERT_TRUE(result && result->failure);
        EXPECT_EQ(int(result->outcome), int(row.outcome));
        EXPECT_EQ(TranslateFailureText(result->outcome), row.message);
        EXPECT_EQ(result->failure->status, row.status);
        EXPECT_TRUE(result->text.isEmpty());
        EXPECT_TRUE(result->engine.isEmpty());
        EXPECT_FALSE(service.IsBusy());
    }
}

TEST_F(EngineChain, ARestingEngineWaitsUntilTheOthersFailedAndASuccessEndsItsRest) {
    standIn.SetAnswer(kTranslatePath, GoogleSays("第一"));
    standIn.SetAnswers(kLibrePath, {Json(R"({"translatedText":"第二"})"), Json("{}", 500)});
    RestStore(dir.filePath("rests")).Failed("google", TooManyRequests(), Now());
    TranslateService service(Chain());

    auto result = Translate(service, "en", "zh-CN", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->engine, "LibreTranslate");
    EXPECT_EQ(Asked(), QList<QByteArray>{kLibrePath});

    standIn.ClearRequests();
    result = Translate(service, "en", "zh-CN", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->engine, "Google");
    EXPECT_EQ(result->text, "第一\r\n");
    EXPECT_EQ(Asked(), (QList<QByteArray>{kLibrePath, kTranslatePath}));
    EXPECT_FALSE(RestOf("google"));
}

TEST_F(EngineChain, OneEngineAloneNeitherRestsNorWaits) {
    standIn.SetAnswer(kTranslatePath, StandInReply("", 429));
    RestStore(dir.filePath("rests")).Failed("google", TooManyRequests(), Now() - 1000);
    const qint64 restBefore = RestOf("google")->untilMs;
    TranslateConfig config = SingleEngineConfig(GoogleAt(standIn));
    config.restsFile = dir.filePath("rests");
    TranslateService service(config);
    const auto result = Translate(service, "en", "zh-CN", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(int(result->outcome), int(TranslateOutcome::HttpError));
    EXPECT_EQ(Asked(), QList<QByteArray>{kTranslatePath});
    EXPECT_EQ(RestOf("google")->untilMs, restBefore);
}

TEST_F(EngineChain, EnginesThatLackALanguageOrAreNotSetUpArePassedOver) {
    standIn.SetAnswer(kBingAuthPath, StandInReply("token"));
    standIn.SetAnswer(kBingPath, Json(R"([{"translations":[{"text":"salve"}]}])"));
    TranslateConfig config;
    config.engines << Engine("llm", standIn.Url(u"/v1")) // no model
                   << LibreAt(standIn) << BingAt(standIn);
    config.restsFile = dir.filePath("rests");
    TranslateService service(config);
    // Neither libretranslate nor bing has Latin; bing has Icelandic.
    bool inside = true;
    service.OnFinished = [&](const TranslateResult&) { EXPECT_FALSE(inside); };
    ASSERT_TRUE(service.Start("en", "la", u"x"));
    inside = false;
    ASSERT_TRUE(WaitUntil([&] { return !service.IsBusy(); }));
    auto result = Translate(service, "en", "la", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(int(result->outcome), int(TranslateOutcome::NoEngine));
    EXPECT_EQ(int(result->failure->kind), int(FailureKind::NotOffered));
    EXPECT_FALSE(TranslateFailureText(result->outcome).isEmpty());
    EXPECT_EQ(standIn.RequestCount(), 0);

    result = Translate(service, "en", "Is", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->engine, "Bing");
    EXPECT_EQ(Asked(), (QList<QByteArray>{kBingAuthPath, kBingPath}));
    EXPECT_FALSE(RestOf("libretranslate"));
}

// The child of the next test: one translation whose first engine is told to
// slow down, with the configuration of the environment.
TEST(EngineChainChild, TranslatesWithTheConfigurationOfTheEnvironment) {
    if (!qEnvironmentVariableIsSet("QUILL_ENGINE_CHAIN_CHILD"))
        GTEST_SKIP() << "runs in the child process of the rests test";
    TranslateService service(LoadTranslateConfig(nullptr));
    const auto result = Translate(service, "en", "zh-CN", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->engine, "LibreTranslate");
}

TEST_F(EngineChain, RestsAreSharedBetweenProcesses) {
    TempHome home;
    QTemporaryDir runtime;
    const std::optional<QByteArray> savedRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")
                                                       ? std::optional(qgetenv("XDG_RUNTIME_DIR"))
                                                       : std::nullopt;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("QUILLMATE_TRANSLATE_ENGINES", "google,libretranslate");
    qputenv("QUILLMATE_TRANSLATE_URL", standIn.Url(u"/translate_a/single").toUtf8());
    qputenv("QUILLMATE_LIBRETRANSLATE_URL", standIn.Url(u"/libre").toUtf8());
    standIn.SetAnswer(kTranslatePath, StandInReply("", 429));
    standIn.SetAnswer(kLibrePath, Json(R"({"translatedText":"好"})"));

    QTemporaryFile log;
    ASSERT_TRUE(log.open());
    const QByteArray program = QCoreApplication::applicationFilePath().toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QUILL_ENGINE_CHAIN_CHILD", "1", 1);
        ::dup2(log.handle(), 1);
        ::dup2(log.handle(), 2);
        ::execl(program.constData(), program.constData(), "--gtest_filter=EngineChainChild.*",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    log.seek(0);
    const QByteArray out = log.readAll();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                out.contains("[  PASSED  ] 1 test"))
        << out.toStdString();
    EXPECT_EQ(Asked(), (QList<QByteArray>{kTranslatePath, kLibrePath}));

    standIn.ClearRequests();
    const TranslateConfig config = LoadTranslateConfig(nullptr);
    EXPECT_TRUE(config.restsFile.startsWith(runtime.path()));
    TranslateService service(config);
    const auto result = Translate(service, "en", "zh-CN", "x");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->engine, "LibreTranslate");
    EXPECT_EQ(Asked(), QList<QByteArray>{kLibrePath});

    for (const char* name :
         {"QUILLMATE_TRANSLATE_ENGINES", "QUILLMATE_TRANSLATE_URL", "QUILLMATE_LIBRETRANSLATE_URL"})
        qunsetenv(name);
    if (savedRuntime)
        qputenv("XDG_RUNTIME_DIR", *savedRuntime);
    else
        qunsetenv("XDG_RUNTIME_DIR");
}

} // namespace
