#include "site/AdminAuth.h"
#include "site/AttemptLimiter.h"

#include <gtest/gtest.h>

namespace {

TEST(AdminAuth, SessionsAreSignedExpireAndBindTheirFormToken) {
    const site::AdminAuth auth("a-token-of-twenty-chars");
    const std::int64_t now = 1'715'000'000;
    const std::string session = auth.NewSession(now);
    EXPECT_TRUE(auth.SessionValid(session, now));
    EXPECT_TRUE(auth.SessionValid(session, now + site::AdminAuth::kSessionSeconds - 1));
    EXPECT_FALSE(auth.SessionValid(session, now + site::AdminAuth::kSessionSeconds));

    std::string longer = session;
    longer[0] = longer[0] == '9' ? '8' : char(longer[0] + 1); // another expiry, same signature
    const struct {
        const char* name;
        std::string value;
    } forged[] = {
        {"expiry changed", longer},
        {"signature cut", session.substr(0, session.size() - 1)},
        {"empty", ""},
        {"no dots", "abc"},
        {"another token's session", site::AdminAuth("another-token-entirely").NewSession(now)},
    };
    for (const auto& f : forged)
        EXPECT_FALSE(auth.SessionValid(f.value, now)) << f.name;

    EXPECT_TRUE(auth.CsrfValid(session, auth.CsrfFor(session)));
    EXPECT_FALSE(auth.CsrfValid(session, auth.CsrfFor(auth.NewSession(now))));
    EXPECT_FALSE(auth.CsrfValid(session, ""));
    EXPECT_TRUE(auth.TokenMatches("a-token-of-twenty-chars"));
    EXPECT_FALSE(auth.TokenMatches("a-token-of-twenty-char"));
    EXPECT_EQ(site::CookieValue("a=1; quill_admin=xyz; b=2", "quill_admin"), "xyz");
    EXPECT_EQ(site::CookieValue("quill_admin_x=1", "quill_admin"), "");
}

TEST(AttemptLimiter, CountsPerKeyInASlidingWindow) {
    site::AttemptLimiter limiter(3, std::chrono::minutes(10));
    const auto t0 = site::AttemptLimiter::Clock::time_point() + std::chrono::hours(1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(limiter.Allowed("a", t0));
        limiter.Record("a", t0 + std::chrono::minutes(i));
    }
    EXPECT_FALSE(limiter.Allowed("a", t0 + std::chrono::minutes(5)));
    EXPECT_TRUE(limiter.Allowed("b", t0 + std::chrono::minutes(5)));
    // The first attempt leaves the window ten minutes after it was made.
    EXPECT_TRUE(limiter.Allowed("a", t0 + std::chrono::minutes(10)));
}

} // namespace
