#include "StoreFixture.h"
#include "sitestore/Migrations.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

using namespace sitestore;

namespace {

const std::int64_t kT0 = 1'715'000'000'000; // a fixed clock

Feedback Post(const std::string& address, std::int64_t at, const std::string& text = "hi") {
    Feedback f;
    f.receivedMs = at;
    f.address = address;
    f.contact = "me@example.cn";
    f.text = text;
    f.installation = "0123456789abcdef0123456789abcdef";
    f.clientTime = "2024-05-06 07:08";
    f.product = "Quillmate_8.0_Linux";
    return f;
}

class StoreTest : public BackendTest {
protected:
    std::vector<InsertOutcome> Insert(std::vector<Feedback> rows, RateLimit limit = {0, 0}) {
        std::vector<InsertOutcome> outcomes;
        std::string error;
        EXPECT_TRUE(store_->InsertFeedback(rows, limit, outcomes, error)) << error;
        return outcomes;
    }
    std::vector<Feedback> List(FeedbackQuery q = {}) {
        std::vector<Feedback> rows;
        std::string error;
        EXPECT_TRUE(store_->ListFeedback(q, rows, error)) << error;
        return rows;
    }
    std::vector<std::int64_t> Ids(FeedbackQuery q) {
        std::vector<std::int64_t> ids;
        for (const auto& f : List(q))
            ids.push_back(f.id);
        return ids;
    }
};

TEST_P(StoreTest, SchemaIsAppliedOnceAndANewerOneIsRefused) {
    const int latest = Migrations().back().version;
    EXPECT_EQ(store_->SchemaVersion(), latest);
    Insert({Post("10.0.0.1", kT0)});
    // A second start finds the schema in place and keeps the rows.
    auto again = Open();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->SchemaVersion(), latest);
    EXPECT_EQ(List().size(), 1u);

    std::string error;
    ASSERT_TRUE(ExecRaw(spec_,
                        "INSERT INTO schema_migrations (version, applied_ms) VALUES (" +
                            std::to_string(latest + 1) + ", 0)",
                        error))
        << error;
    auto older = OpenStore(spec_, error);
    ASSERT_TRUE(older);
    EXPECT_FALSE(older->Migrate(error));
    EXPECT_NE(error.find("newer than this program"), std::string::npos) << error;
}

TEST_P(StoreTest, ServersStartingTogetherMigrateOnce) {
    // A fresh database for the racers: drop what SetUp made.
    std::string error;
    ASSERT_TRUE(ExecRaw(
        spec_, "DROP TABLE feedback; DROP TABLE releases; DROP TABLE schema_migrations", error))
        << error;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            std::string e;
            auto s = OpenStore(spec_, e);
            if (!s || !s->Migrate(e))
                ++failures;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(store_->SchemaVersion(), Migrations().back().version);
}

TEST_P(StoreTest, ReleasesKeepTheirTextAndVersionsAreUnique) {
    Release r{0, "8.1", "https://example.test/d?a=1&b='2'", "新版本 \"8.1\" 已发布", "一\n二", kT0};
    std::string error;
    ASSERT_TRUE(store_->AddRelease(r, error)) << error;
    EXPECT_GT(r.id, 0);
    Release same = r;
    EXPECT_FALSE(store_->AddRelease(same, error));
    EXPECT_EQ(error, "version 8.1 exists");
    Release next{0, "8.2", "http://x.test/", "", "", kT0 + 1};
    ASSERT_TRUE(store_->AddRelease(next, error)) << error;

    std::vector<Release> all;
    ASSERT_TRUE(store_->ListReleases(all, error)) << error;
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].version, "8.1");
    EXPECT_EQ(all[0].path, r.path);
    EXPECT_EQ(all[0].prompt, r.prompt);
    EXPECT_EQ(all[0].notes, r.notes);
    EXPECT_EQ(all[0].publishedMs, kT0);
    EXPECT_EQ(all[1].version, "8.2");
}

TEST_P(StoreTest, FeedbackKeepsEveryCharacter) {
    const std::string texts[] = {"好 用\n谢谢", "it's \"quoted\" \\ back%slash_", "tab\there",
                                 "😀 emoji", std::string(6000, 'x')};
    std::vector<Feedback> rows;
    for (const auto& t : texts)
        rows.push_back(Post("2001:db8::1", kT0, t));
    rows[0].contact = "";
    Insert(rows);
    const auto stored = List();
    ASSERT_EQ(stored.size(), std::size(texts));
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(stored[i].text, texts[i]);
        EXPECT_EQ(stored[i].address, "2001:db8::1");
        EXPECT_EQ(stored[i].receivedMs, kT0);
        EXPECT_FALSE(stored[i].answeredMs);
    }
    EXPECT_EQ(stored[0].contact, "");
    EXPECT_EQ(stored[1].installation, rows[1].installation);
    EXPECT_EQ(stored[1].clientTime, "2024-05-06 07:08");
    EXPECT_EQ(stored[1].product, "Quillmate_8.0_Linux");
}

struct RateCase {
    const char* name;
    std::vector<std::pair<const char*, std::int64_t>> posts; // address, ms after kT0
    std::vector<bool> stored;
};

TEST_P(StoreTest, RateLimitCountsStoredPostsPerAddress) {
    const std::int64_t minute = 60'000;
    std::vector<RateCase> cases = {
        {"six in a minute: the sixth is refused",
         {{"a", 0}, {"a", 1}, {"a", 2}, {"a", 3}, {"a", 4}, {"a", 5}},
         {true, true, true, true, true, false}},
        {"other addresses do not count",
         {{"a", 0}, {"a", 1}, {"a", 2}, {"a", 3}, {"a", 4}, {"b", 5}},
         {true, true, true, true, true, true}},
        {"a minute later the window has moved",
         {{"a", 0}, {"a", 1}, {"a", 2}, {"a", 3}, {"a", 4}, {"a", minute + 1}},
         {true, true, true, true, true, true}},
        {"exactly a minute is still inside",
         {{"a", 1}, {"a", 1}, {"a", 1}, {"a", 1}, {"a", 1}, {"a", minute}},
         {true, true, true, true, true, false}},
    };
    // Fifty over a day, five a minute, then one more within the day.
    RateCase day{"fifty a day", {}, {}};
    for (int i = 0; i < 50; ++i) {
        day.posts.push_back({"a", std::int64_t(i) * 10 * minute});
        day.stored.push_back(true);
    }
    day.posts.push_back({"a", 51 * 10 * minute});
    day.stored.push_back(false);
    day.posts.push_back({"a", 24 * 60 * minute + 1}); // the first one has left the day
    day.stored.push_back(true);
    cases.push_back(day);

    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case on addresses of its own, in batches of three to cross batch edges.
        const std::string prefix = "r" + std::to_string(++round) + "-";
        std::vector<bool> stored;
        for (std::size_t i = 0; i < c.posts.size(); i += 3) {
            std::vector<Feedback> batch;
            for (std::size_t k = i; k < std::min(i + 3, c.posts.size()); ++k)
                batch.push_back(Post(prefix + c.posts[k].first, kT0 + c.posts[k].second));
            for (InsertOutcome o : Insert(batch, RateLimit{5, 50}))
                stored.push_back(o == InsertOutcome::Stored);
        }
        EXPECT_EQ(stored, c.stored);
    }
}

TEST_P(StoreTest, ConnectionsPostingAtOnceShareTheLimit) {
    // Four servers, each a connection, take ten posts from one address at once.
    std::atomic<int> storedCount{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            std::string error;
            auto s = OpenStore(spec_, error);
            if (!s) {
                ++failures;
                return;
            }
            for (int k = 0; k < 10; ++k) {
                std::vector<Feedback> rows{Post("192.0.2.7", kT0 + k)};
                std::vector<InsertOutcome> outcomes;
                if (!s->InsertFeedback(rows, RateLimit{5, 50}, outcomes, error))
                    ++failures;
                else if (outcomes[0] == InsertOutcome::Stored)
                    ++storedCount;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(storedCount.load(), 5);
    EXPECT_EQ(List().size(), 5u);
}

TEST_P(StoreTest, ListingFiltersSearchesAndPages) {
    Insert({Post("10.0.0.1", kT0, "Hello World"), Post("10.0.0.2", kT0 + 1000, "翻译很好"),
            Post("10.0.0.3", kT0 + 2000, "100% sure_thing"),
            Post("10.0.0.4", kT0 + 3000, "100 sure")});
    const std::vector<std::int64_t> all = Ids({});
    ASSERT_EQ(all.size(), 4u);
    const auto id = [&](int i) { return all[std::size_t(i)]; };
    struct Case {
        const char* name;
        FeedbackQuery query;
        std::vector<std::int64_t> expected;
    } cases[] = {
        {"since", {kT0 + 1000, "", false, 0, 0}, {id(1), id(2), id(3)}},
        {"newest first, paged", {0, "", true, 2, 1}, {id(2), id(1)}},
        {"letters ignore case", {0, "hello", false, 0, 0}, {id(0)}},
        {"Chinese", {0, "翻译", false, 0, 0}, {id(1)}},
        {"a percent sign is no wildcard", {0, "0%", false, 0, 0}, {id(2)}},
        {"an underscore is no wildcard", {0, "e_t", false, 0, 0}, {id(2)}},
        {"the address", {0, "10.0.0.4", false, 0, 0}, {id(3)}},
        {"the contact", {0, "ME@EXAMPLE", false, 0, 0}, all},
        {"nothing", {0, "absent", false, 0, 0}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Ids(c.query), c.expected);
    }
}

TEST_P(StoreTest, OneMessageCanBeShownMarkedAndDeleted) {
    Insert({Post("10.0.0.1", kT0, "one"), Post("10.0.0.1", kT0, "two")});
    const auto ids = Ids({});
    std::string error;
    bool found = false;
    Feedback f;
    ASSERT_TRUE(store_->GetFeedback(ids[1], f, found, error)) << error;
    EXPECT_TRUE(found);
    EXPECT_EQ(f.text, "two");

    ASSERT_TRUE(store_->MarkAnswered(ids[1], kT0 + 5, found, error)) << error;
    EXPECT_TRUE(found);
    ASSERT_TRUE(store_->GetFeedback(ids[1], f, found, error));
    EXPECT_EQ(f.answeredMs, kT0 + 5);
    ASSERT_TRUE(store_->MarkAnswered(ids[1], std::nullopt, found, error));
    ASSERT_TRUE(store_->GetFeedback(ids[1], f, found, error));
    EXPECT_FALSE(f.answeredMs);

    ASSERT_TRUE(store_->DeleteFeedback(ids[0], found, error)) << error;
    EXPECT_TRUE(found);
    ASSERT_TRUE(store_->GetFeedback(ids[0], f, found, error));
    EXPECT_FALSE(found);
    for (auto op : {0, 1}) {
        found = true;
        ASSERT_TRUE(op == 0 ? store_->DeleteFeedback(ids[0], found, error)
                            : store_->MarkAnswered(ids[0], kT0, found, error));
        EXPECT_FALSE(found);
    }
    // A deleted message's id is never given to a new one.
    Insert({Post("10.0.0.1", kT0, "three")});
    EXPECT_GT(Ids({}).back(), ids[1]);
}

QUILL_BOTH_BACKENDS(StoreTest);

TEST(StoreOpen, BadSpecsAndPlacesSayWhy) {
    const struct {
        const char* spec;
        const char* expected;
    } cases[] = {
        {"mysql://x", "a database is sqlite:PATH or postgresql://"},
        {"sqlite:", "a database is sqlite:PATH"},
        {"sqlite:/nonexistent-folder/x.sqlite3", "cannot open /nonexistent-folder/x.sqlite3"},
        {"postgresql:///none?host=/nonexistent-folder&port=1", "cannot connect to PostgreSQL"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(OpenStore(c.spec, error)) << c.spec;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.spec << ": " << error;
    }
}

TEST(PostgresStore, AConnectionLostToARestartIsOpenedAgain) {
    PgCluster* cluster = PgCluster::Get();
    if (!cluster && PgCluster::Installed())
        FAIL() << PgCluster::SkipReason();
    if (!cluster)
        GTEST_SKIP() << "PostgreSQL cases skipped: " << PgCluster::SkipReason();
    std::string error;
    auto store = OpenStore(cluster->NewDatabase(), error);
    ASSERT_TRUE(store && store->Migrate(error)) << error;
    ASSERT_TRUE(cluster->Restart());
    std::vector<Release> releases;
    // The call that finds the connection broken fails; the next one reconnects.
    if (!store->ListReleases(releases, error)) {
        EXPECT_TRUE(store->ListReleases(releases, error)) << error;
    }
}

} // namespace
