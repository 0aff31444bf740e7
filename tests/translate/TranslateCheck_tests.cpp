// The check runs each engine alone, in order, and the listing shows who rests.
#include "EngineTestUtil.h"
#include "translate/TranslateCheck.h"
#include "translate/engines/RestStore.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(TranslateCheck, EachEngineAloneInOrderWithItsOutcome) {
    ServiceStandIn standIn;
    standIn.SetAnswer(kTranslatePath, StandInReply(R"([[["早","x"],[null]],null])"));
    standIn.SetAnswer(kBingAuthPath, StandInReply("", 429));
    const QList<EngineSettings> engines{BingAt(standIn), Engine("libretranslate"),
                                        GoogleAt(standIn)};
    TranslateCheck check;
    QList<EngineCheckResult> results;
    bool finished = false;
    check.OnChecked = [&](const EngineCheckResult& r) { results << r; };
    check.OnFinished = [&] { finished = true; };
    ASSERT_TRUE(check.Start(engines));
    EXPECT_FALSE(check.Start(engines));
    ASSERT_TRUE(WaitUntil([&] { return finished; }));
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].engine.label, "Bing");
    ASSERT_TRUE(results[0].result.failure);
    EXPECT_EQ(results[0].result.failure->status, 429);
    EXPECT_FALSE(results[1].engine.configured);
    EXPECT_EQ(results[2].result.engine, "Google");
    EXPECT_EQ(results[2].result.text, "早\r\n");
    EXPECT_EQ(standIn.RequestCount(), 2);
    EXPECT_FALSE(check.IsBusy());
}

TEST(TranslateCheck, TheListingShowsHostsAndRests) {
    QTemporaryDir dir;
    TranslateConfig config;
    config.engines << Engine("google", "http://127.0.0.1:8080/translate_a/single")
                   << Engine("llm", "https://models.example/v1", "m");
    config.restsFile = dir.filePath("rests");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    RestStore(config.restsFile).Failed("llm", {FailureKind::Silent, -1, -1, {}}, now);
    const QList<EngineStatus> list = DescribeEngines(config, now);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].host, "127.0.0.1:8080");
    EXPECT_EQ(list[0].restingUntilMs, 0);
    EXPECT_EQ(list[1].host, "models.example");
    EXPECT_EQ(list[1].label, "m");
    EXPECT_EQ(list[1].restingUntilMs, now + kDownFirstRestMs);
}

} // namespace
