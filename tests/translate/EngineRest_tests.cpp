// The rest rules on a fixed clock, Retry-After, and the shared file read
// whatever it holds.
#include "translate/engines/EngineRest.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

constexpr qint64 kNow = 1'700'000'000'000;
constexpr qint64 kMinute = 60'000;

EngineFailure Refusal(int status, int retryAfter = -1) {
    return {FailureKind::Refused, status, retryAfter, TranslateOutcome::HttpError};
}
EngineFailure Of(FailureKind kind) {
    return {kind, -1, -1, TranslateOutcome::HostUnreachable};
}

TEST(EngineRest, EachFailureRestsItsEngineAsLongAsItsRuleSays) {
    const EngineRest busy3{kNow + kMinute, 3, RestReason::Busy};
    const EngineRest down2{kNow - kMinute, 2, RestReason::Down};
    const struct Row {
        const char* name;
        std::optional<EngineRest> before;
        EngineFailure failure;
        std::optional<qint64> restMs; // none: no rest
        int strikes = 0;
    } rows[] = {
        {"429 first", {}, Refusal(429), kMinute, 1},
        {"403 first", {}, Refusal(403), kMinute, 1},
        {"429 says when", {}, Refusal(429, 7), 7'000, 1},
        {"429 says too long", {}, Refusal(429, 86400), 30 * kMinute, 1},
        {"fourth 429 in a row", busy3, Refusal(429), 8 * kMinute, 4},
        {"many in a row", EngineRest{kNow, 20, RestReason::Busy}, Refusal(429), 30 * kMinute, 21},
        {"unreachable first", {}, Of(FailureKind::Unreachable), 5 * kMinute, 1},
        {"silent after an unreachable", down2, Of(FailureKind::Silent), 20 * kMinute, 3},
        {"down for long", EngineRest{kNow, 30, RestReason::Down}, Of(FailureKind::Silent),
         360 * kMinute, 31},
        {"down after busy starts over", busy3, Of(FailureKind::Unreachable), 5 * kMinute, 1},
        {"long after the last rest", EngineRest{kNow - 31 * kMinute, 5, RestReason::Busy},
         Refusal(429), kMinute, 1},
        {"500 does not rest", {}, Refusal(500), std::nullopt},
        {"503 with Retry-After does not rest", {}, Refusal(503, 60), std::nullopt},
        {"400 does not rest", busy3, Refusal(400), std::nullopt},
        {"unreadable does not rest", {}, Of(FailureKind::Unreadable), std::nullopt},
        {"not offered does not rest", {}, Of(FailureKind::NotOffered), std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<EngineRest> rest = RestAfter(row.before, row.failure, kNow);
        ASSERT_EQ(rest.has_value(), row.restMs.has_value());
        if (!rest)
            continue;
        EXPECT_EQ(rest->untilMs - kNow, *row.restMs);
        EXPECT_EQ(rest->strikes, std::min(row.strikes, 32));
        EXPECT_TRUE(IsResting(*rest, kNow + *row.restMs - 1));
        EXPECT_FALSE(IsResting(*rest, kNow + *row.restMs));
    }
}

TEST(EngineRest, RetryAfterInSecondsOrAsADate) {
    const QString inTwoMinutes =
        QDateTime::fromMSecsSinceEpoch(kNow + 2 * kMinute, Qt::UTC).toString(Qt::RFC2822Date);
    const struct Row {
        QString headers;
        int seconds;
    } rows[] = {
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 120\r\n\r\n", 120},
        {"Content-Type: text/plain\r\nretry-after:5\r\n", 5},
        {"Retry-After: " + inTwoMinutes + "\r\n", 120},
        {"Retry-After: Thu, 01 Jan 2015 00:00:00 GMT\r\n", 0},
        {"Retry-After: soon\r\n", -1},
        {"Retry-After: -3\r\n", -1},
        {"X-Retry-After: 9\r\n", -1},
        {"", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(RetryAfterSeconds(row.headers, kNow), row.seconds) << row.headers.toStdString();
}

// The round trip and the bounds on any bytes are the fuzz target's; here the
// kinds of damage a file may carry.
TEST(EngineRest, TheSharedFileIsReadWhateverItHolds) {
    const struct Row {
        const char* name;
        QByteArray bytes;
        qsizetype kept;
    } rows[] = {
        {"not JSON", "\x01\xff{{", 0},
        {"a list", "[1,2]", 0},
        {"unknown engine", R"({"deepl":{"until":1,"strikes":1,"reason":"busy"}})", 0},
        {"unknown reason", R"({"bing":{"until":1,"strikes":1,"reason":"tired"}})", 0},
        {"no strikes", R"({"bing":{"until":1,"strikes":0,"reason":"busy"}})", 0},
        {"end as text", R"({"bing":{"until":"1","strikes":1,"reason":"busy"}})", 0},
        {"one good of two", R"({"bing":{"until":1,"strikes":1,"reason":"down"},"llm":7})", 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ReadRests(row.bytes, kNow).size(), row.kept) << row.name;

    // Written far ahead (by hand, or under a clock set back): never longer
    // than the reason allows.
    const RestMap ahead = ReadRests(R"({"bing":{"until":9e15,"strikes":1,"reason":"busy"}})", kNow);
    EXPECT_EQ(ahead["bing"].untilMs, kNow + kBusyLongestRestMs);
}

} // namespace
