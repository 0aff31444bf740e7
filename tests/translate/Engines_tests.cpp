// Each engine alone against the loopback stand-in: the exact requests, the
// answers read, the failures as kinds, and bing's token.
#include "EngineTestUtil.h"
#include "translate/engines/BingEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/LlmEngine.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

QByteArray Jwt(const QByteArray& payload) {
    return "eyJhbGciOiJIUzI1NiJ9." +
           payload.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals) +
           ".c2ln";
}

QByteArray TokenExpiringIn(qint64 seconds) {
    return Jwt("{\"exp\":" + QByteArray::number(QDateTime::currentSecsSinceEpoch() + seconds) +
               ",\"region\":\"global\"}");
}

struct Sent {
    QByteArray method, target;
    HeaderList headers; // each must be there with this value
    QByteArray body;    // exact; empty: not checked
    QList<QByteArray> absent = {};
};

TEST(Engines, SendExactlyTheirRequestAndShowEveryLineOfTheAnswer) {
    struct Row {
        const char* name;
        std::function<EngineSettings(const ServiceStandIn&)> engine;
        QString source, target, text;
        QList<QPair<QByteArray, StandInAnswer>> answers;
        QList<Sent> sent;
        QString shown, label;
    };
    const QByteArray token = TokenExpiringIn(600);
    const Row rows[] = {
        {"google, the form post as ever",
         [](const ServiceStandIn& s) { return GoogleAt(s); },
         "en",
         "zh-CN",
         "Good morning\r\nThank you",
         {{kTranslatePath,
           StandInReply(
               R"([[["早上好\r\n","Good morning\r\n"],["谢谢","Thank you"],[null,null,"x"]],null,"en"])")}},
         {{"POST",
           "/translate_a/single",
           {{"User-Agent", "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)"},
            {"Content-Type", "application/x-www-form-urlencoded"}},
           "client=gtx&dt=bd&dt=ex&dt=ld&dt=md&dt=qca&dt=rw&dt=rm&dt=ss&dt=t&dt=at&&sl=en&tl=zh-CN&"
           "q=Good%20morning%0D%0AThank%20you"}},
         "早上好\r\n谢谢\r\n",
         "Google"},
        {"bing detecting the language, escapes and two lines",
         [](const ServiceStandIn& s) { return BingAt(s); },
         "auto",
         "zh-TW",
         "Say \"hi\"\r\nC:\\path",
         {{kBingAuthPath, StandInReply(token + "\n")},
          {kBingPath, Json(R"([{"detectedLanguage":{"language":"en","score":1.0},)"
                           R"("translations":[{"text":"說\"嗨\"\nC:\\路徑","to":"zh-Hant"}]}])")}},
         {{"GET", "/translate/auth", {}, {}, {"Content-Type"}},
          {"POST",
           "/translate?to=zh-Hant&api-version=3.0",
           {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}},
           R"([{"Text":"Say \"hi\"\nC:\\path"}])"}},
         "說\"嗨\"\r\nC:\\路徑\r\n",
         "Bing"},
        {"bing with a source language of its own code",
         [](const ServiceStandIn& s) { return BingAt(s); },
         "iw",
         "Is",
         "x",
         {{kBingAuthPath, StandInReply(token)},
          {kBingPath, Json(R"([{"translations":[{"text":"y","to":"is"}]}])")}},
         {{"GET", "/translate/auth", {}, {}},
          {"POST", "/translate?from=he&to=is&api-version=3.0", {}, R"([{"Text":"x"}])"}},
         "y\r\n",
         "Bing"},
        {"libretranslate without a key",
         [](const ServiceStandIn& s) { return LibreAt(s); },
         "en",
         "zh-CN",
         "a\r\nb",
         {{"/libre/translate", Json(R"({"translatedText":"甲\n乙\n"})")}},
         {{"POST",
           "/libre/translate",
           {{"Content-Type", "application/json"}},
           R"({"format":"text","q":"a\nb","source":"en","target":"zh"})"}},
         "甲\r\n乙\r\n",
         "LibreTranslate"},
        {"libretranslate with a key",
         [](const ServiceStandIn& s) { return LibreAt(s, "k-1"); },
         "auto",
         "zh-TW",
         "a",
         {{"/libre/translate",
           Json(
               R"({"detectedLanguage":{"confidence":90,"language":"en"},"translatedText":"甲"})")}},
         {{"POST",
           "/libre/translate",
           {},
           R"({"api_key":"k-1","format":"text","q":"a","source":"auto","target":"zt"})",
           {"Authorization"}}},
         "甲\r\n",
         "LibreTranslate"},
        {"a model that thinks first and answers more lines than it got",
         [](const ServiceStandIn& s) { return LlmAt(s, "qwen3:8b", "sk-1"); },
         "en",
         "zh-CN",
         "one\r\ntwo",
         {{"/v1/chat/completions",
           Json(R"({"choices":[{"index":0,"message":{"role":"assistant",)"
                R"("content":"<think>\nfine\n</think>\n\n一\n二\n三"}}]})")}},
         {{"POST",
           "/v1/chat/completions",
           {{"Authorization", "Bearer sk-1"}, {"Content-Type", "application/json"}},
           {}}},
         "一\r\n二\r\n三\r\n",
         "qwen3:8b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ServiceStandIn standIn;
        for (const auto& [path, answer] : row.answers)
            standIn.SetAnswer(path, answer);
        TranslateService service(SingleEngineConfig(row.engine(standIn)));
        const auto result = Translate(service, row.source, row.target, row.text);
        ASSERT_TRUE(result);
        EXPECT_EQ(int(result->outcome), int(TranslateOutcome::Translated));
        EXPECT_EQ(result->text, row.shown);
        EXPECT_EQ(result->engine, row.label);
        const QList<StandInRequest> requests = standIn.Requests();
        ASSERT_EQ(requests.size(), row.sent.size());
        for (qsizetype i = 0; i < requests.size(); ++i) {
            const Sent& want = row.sent[i];
            EXPECT_EQ(requests[i].method, want.method);
            EXPECT_EQ(requests[i].target, want.target);
            for (const auto& [name, value] : want.headers)
                EXPECT_EQ(requests[i].header(name), value) << name.constData();
            for (const QByteArray& name : want.absent)
                EXPECT_FALSE(requests[i].hasHeader(name)) << name.constData();
            if (!want.body.isEmpty()) {
                EXPECT_EQ(requests[i].body, want.body);
            }
        }
    }
}

// The system message names both languages in English and asks for the
// translation alone; the text goes as the user's message.
TEST(Engines, TheModelIsToldBothLanguagesAndGetsTheTextAlone) {
    ServiceStandIn standIn;
    standIn.SetAnswer("/v1/chat/completions", Json(R"({"choices":[{"message":{"content":"x"}}]})"));
    TranslateService service(SingleEngineConfig(LlmAt(standIn, "m")));
    ASSERT_TRUE(Translate(service, "Is", "iw", "a\r\nb"));
    ASSERT_EQ(standIn.RequestCount(), 1);
    EXPECT_FALSE(standIn.Requests()[0].hasHeader("Authorization")); // no key, no header
    const QJsonObject body = QJsonDocument::fromJson(standIn.Requests()[0].body).object();
    EXPECT_EQ(body.value("model").toString(), "m");
    EXPECT_EQ(body.value("temperature").toDouble(-1), 0);
    const QJsonArray messages = body.value("messages").toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0]["role"].toString(), "system");
    const QString instruction = messages[0]["content"].toString();
    EXPECT_TRUE(instruction.contains("from Icelandic into Hebrew")) << instruction.toStdString();
    EXPECT_TRUE(instruction.contains("translation only"));
    EXPECT_TRUE(instruction.contains("line break"));
    EXPECT_EQ(messages[1]["role"].toString(), "user");
    EXPECT_EQ(messages[1]["content"].toString(), "a\nb");
    EXPECT_TRUE(
        LlmEngine::Instruction("auto", "English").contains("the language it is written in"));
}

TEST(Engines, EveryEndingIsAFailureOfItsKind) {
    StandInAnswer cut = Json(R"({"translatedText":"a long answer"})");
    cut.closeAfter = 5;
    StandInAnswer hangUp;
    hangUp.hangUp = true;
    const struct Row {
        const char* name;
        std::optional<StandInAnswer> answer; // none: nobody listens
        FailureKind kind;
        int status;
        TranslateOutcome outcome;
        int retryAfter = -1;
    } rows[] = {
        {"unsupported language", Json(R"({"error":"xx is not supported"})", 400),
         FailureKind::Refused, 400, TranslateOutcome::HttpError},
        {"wrong key", Json(R"({"error":"Invalid API key"})", 403), FailureKind::Refused, 403,
         TranslateOutcome::HttpError},
        {"too many requests", Json("{}", 429, {{"Retry-After", "7"}}), FailureKind::Refused, 429,
         TranslateOutcome::HttpError, 7},
        {"server error", Json(R"({"error":"boom"})", 500), FailureKind::Refused, 500,
         TranslateOutcome::HttpError},
        {"an error with status 200", Json(R"({"error":"quota"})"), FailureKind::Unreadable, 200,
         TranslateOutcome::Translated},
        {"no JSON", StandInReply("<html>busy</html>"), FailureKind::Unreadable, 200,
         TranslateOutcome::Translated},
        {"cut off", cut, FailureKind::Unreadable, 200, TranslateOutcome::ConnectionLost},
        {"hung up without a status", hangUp, FailureKind::Unreachable, -1,
         TranslateOutcome::HostUnreachable},
        {"nobody listening", std::nullopt, FailureKind::Unreachable, -1,
         TranslateOutcome::HostUnreachable},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::optional<ServiceStandIn> standIn(std::in_place);
        const EngineSettings engine = LibreAt(*standIn);
        if (row.answer)
            standIn->SetAnswer("/libre/translate", *row.answer);
        else
            standIn.reset();
        TranslateService service(SingleEngineConfig(engine));
        const auto result = Translate(service, "en", "de", "x");
        ASSERT_TRUE(result);
        ASSERT_TRUE(result->failure);
        EXPECT_EQ(int(result->failure->kind), int(row.kind));
        EXPECT_EQ(result->failure->status, row.status);
        EXPECT_EQ(result->failure->retryAfterSecs, row.retryAfter);
        EXPECT_EQ(int(result->outcome), int(row.outcome));
        EXPECT_TRUE(result->text.isEmpty());
        EXPECT_TRUE(result->engine.isEmpty());
    }
}

TEST(Engines, AnswersWithoutATranslationAreUnreadable) {
    const GoogleEngine google({});
    const BingEngine bing({}, {});
    const LibreTranslateEngine libre(QStringLiteral("http://h"), {});
    const LlmEngine llm(QStringLiteral("http://h"), QStringLiteral("m"), {});
    const QByteArray huge = R"({"translatedText":")" + QByteArray(kMaxJsonAnswer, 'a') + R"("})";
    const struct Row {
        const TranslationEngine* engine;
        QByteArray answer;
    } rows[] = {
        {&google, "<html>busy</html>"},
        {&google, R"([null,null,"en"])"},
        {&bing, R"({"translations":[{"text":"x"}]})"},
        {&bing, R"([{"translations":[]}])"},
        {&bing, R"([{"translations":[{"text":""}]}])"},
        {&libre, R"({"translatedText":null})"},
        {&libre, huge},
        {&llm, R"({"choices":[]})"},
        {&llm, R"({"choices":[{"message":{"content":"\n\n"}}]})"},
        {&llm, R"({"choices":[{"message":{"content":"<think>only thoughts</think>"}}]})"},
    };
    for (const Row& row : rows)
        EXPECT_FALSE(row.engine->Parse(row.answer)) << row.answer.left(80).constData();
}

TEST(Engines, TheTokensExpiryIsReadFromItsPayload) {
    const struct Row {
        QByteArray token;
        std::optional<qint64> expiry;
    } rows[] = {
        {Jwt(R"({"exp":1700000000})"), 1700000000},
        {Jwt(R"({"exp":1700000000.5,"iat":1})"), 1700000000},
        {Jwt(R"({"exp":"1700000000"})"), std::nullopt},
        {Jwt(R"({"exp":1e300})"), std::nullopt},
        {"a.%%%.c", std::nullopt},
        {"one.dot", std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(JwtExpiry(row.token), row.expiry) << row.token.constData();
}

class BingToken : public ::testing::Test {
protected:
    void SetUp() override {
        standIn.SetAnswer(kBingPath, Json(R"([{"translations":[{"text":"好","to":"zh-Hans"}]}])"));
    }
    std::optional<TranslateResult> Once() { return Translate(service, "en", "zh-CN", "good"); }
    QList<QByteArray> Sent() const {
        QList<QByteArray> sent;
        for (const StandInRequest& r : standIn.Requests())
            sent << r.path() + ' ' + r.header("Authorization");
        return sent;
    }

    ServiceStandIn standIn;
    TranslateService service{SingleEngineConfig(BingAt(standIn))};
};

TEST_F(BingToken, IsKeptWhileItIsValid) {
    const QByteArray token = TokenExpiringIn(600);
    standIn.SetAnswer(kBingAuthPath, StandInReply(token));
    ASSERT_TRUE(Once());
    const auto second = Once();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->text, "好\r\n");
    EXPECT_EQ(Sent(), QList<QByteArray>({"/translate/auth ", "/translate Bearer " + token,
                                         "/translate Bearer " + token}));
}

TEST_F(BingToken, IsFetchedAgainShortlyBeforeItExpires) {
    standIn.SetAnswer(kBingAuthPath, StandInReply(TokenExpiringIn(30)));
    ASSERT_TRUE(Once());
    ASSERT_TRUE(Once());
    EXPECT_EQ(standIn.RequestCount(), 4);
    EXPECT_EQ(Sent()[2], "/translate/auth ");
}

TEST_F(BingToken, ARefusedTokenIsReplacedOnce) {
    const QByteArray first = TokenExpiringIn(600), second = TokenExpiringIn(900);
    standIn.SetAnswers(kBingAuthPath, {StandInReply(first), StandInReply(second)});
    standIn.SetAnswers(kBingPath, {Json(R"([{"translations":[{"text":"一"}]}])"),
                                   Json(R"({"error":{"code":401000}})", 401),
                                   Json(R"([{"translations":[{"text":"二"}]}])")});
    ASSERT_TRUE(Once());
    const auto result = Once();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->text, "二\r\n");
    EXPECT_EQ(Sent(), QList<QByteArray>({"/translate/auth ", "/translate Bearer " + first,
                                         "/translate Bearer " + first, "/translate/auth ",
                                         "/translate Bearer " + second}));
}

TEST_F(BingToken, RefusalsOfAFreshTokenOrOfTheTokenItselfAreFinal) {
    const struct Row {
        const char* name;
        StandInAnswer auth;
        StandInAnswer translation;
        FailureKind kind;
        int status;
        qsizetype requests;
    } rows[] = {
        {"fresh token refused", StandInReply(TokenExpiringIn(600)), Json("{}", 401),
         FailureKind::Refused, 401, 2},
        {"token refused", StandInReply("slow down", 429), Json("[]"), FailureKind::Refused, 429, 1},
        {"a page instead of a token", StandInReply("<html>\n<body>hi</body>"), Json("[]"),
         FailureKind::Unreadable, 200, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        standIn.ClearRequests();
        standIn.SetAnswer(kBingAuthPath, row.auth);
        standIn.SetAnswer(kBingPath, row.translation);
        const auto result = Once();
        ASSERT_TRUE(result && result->failure);
        EXPECT_EQ(int(result->failure->kind), int(row.kind));
        EXPECT_EQ(result->failure->status, row.status);
        EXPECT_EQ(standIn.RequestCount(), row.requests);
    }
}

} // namespace
