// The translation service against the loopback stand-in: each ending once.
#include "ServiceStandIn.h"
#include "translate/TranslateService.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

std::optional<TranslateResult> Translate(TranslateService& service, const QString& text) {
    std::optional<TranslateResult> result;
    QEventLoop loop;
    service.OnFinished = [&](const TranslateResult& r) {
        result = r;
        loop.quit();
    };
    if (!service.Start(QStringLiteral("en"), QStringLiteral("zh-CN"), text))
        return std::nullopt;
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

} // namespace

TEST(TranslateService, EachEndingIsReportedAsItsOutcome) {
    StandInAnswer cut = StandInReply(R"([[["早上好","Good morning",null,null,1]],null,"en"])");
    cut.closeAfter = 5;
    StandInAnswer hangUp;
    hangUp.hangUp = true;
    const struct Row {
        const char* name;
        std::optional<StandInAnswer> answer; // none: nobody listens
        TranslateOutcome outcome;
        QString text;
    } rows[] = {
        {"translated",
         StandInReply(
             R"([[["早上好\r\n","Good morning\r\n",null,null,1],["谢谢","Thank you",null,null,1],[null,null,"Zaoshang hao"]],null,"en"])"),
         TranslateOutcome::Translated, QStringLiteral("早上好\r\n谢谢\r\n")},
        {"error status", StandInReply("busy", 503), TranslateOutcome::HttpError, {}},
        {"answer cut off", cut, TranslateOutcome::ConnectionLost, {}},
        {"no listener", std::nullopt, TranslateOutcome::HostUnreachable, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        if (row.answer)
            standIn.SetAnswer(kTranslatePath, *row.answer);
        else
            qputenv("QUILLMATE_TRANSLATE_URL", "http://127.0.0.1:1/translate_a/single");
        TranslateService service;
        const auto result = Translate(service, QStringLiteral("Good morning\r\nThank you"));
        ASSERT_TRUE(result);
        EXPECT_EQ(int(result->outcome), int(row.outcome));
        EXPECT_EQ(result->text, row.text);
        EXPECT_FALSE(service.IsBusy());
    }
}

TEST(TranslateService, OneTranslationAtATime) {
    ServiceStandIn standIn;
    standIn.PointEndpointsHere();
    StandInAnswer slow = StandInReply(R"([[["好","Good",null,null,1]],null,"en"])");
    slow.headerDelayMs = 300;
    standIn.SetAnswer(kTranslatePath, slow);
    TranslateService service;
    int finished = 0;
    service.OnFinished = [&](const TranslateResult&) { ++finished; };
    ASSERT_TRUE(service.Start(QStringLiteral("en"), QStringLiteral("zh-CN"), u"Good"));
    EXPECT_FALSE(service.Start(QStringLiteral("en"), QStringLiteral("zh-CN"), u"Again"));
    ASSERT_TRUE(WaitUntil([&] { return finished == 1; }));
    EXPECT_EQ(standIn.RequestCount(), 1);
}

TEST(TranslateService, TheChecksComeInTheWindowsOrder) {
    EXPECT_EQ(CheckTranslation(u"en", u"en", false), TranslateRefusal::SameLanguage);
    EXPECT_EQ(CheckTranslation(u"auto", u"en", false), TranslateRefusal::NoText);
    EXPECT_EQ(CheckTranslation(u"auto", u"en", true), TranslateRefusal::None);
}
