#include "RawHttp.h"
#include "RunningSite.h"
#include "StoreFixture.h"
#include "siteweb/FeedbackReply.h"

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

const std::string kForm = "application/x-www-form-urlencoded";
const std::string kMarker(siteweb::kSuccessMarkerGbk);

std::string Body(const std::string& text) {
    return "user=orbix&name=Quillmate_8.0_Linux&email=&title=%C4%FA%BA%C3&text=" + text +
           "&image=on&home=0123456789abcdef0123456789abcdef&time=2024%2D05%2D06%26nbsp%3B07%3A08";
}

bool HasMarkerLine(const std::string& page) {
    return page.find("\r\n" + kMarker + "\r\n") != std::string::npos;
}

std::string Header(const RawAnswer& a, const std::string& name) {
    const std::size_t at = a.head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "<none>";
    const std::size_t start = at + name.size() + 4;
    return a.head.substr(start, a.head.find("\r\n", start) - start);
}

class SiteTest : public BackendTest {
protected:
    std::unique_ptr<RunningSite> Start(site::SiteConfig config) {
        auto s = std::make_unique<RunningSite>(std::move(config));
        EXPECT_TRUE(s->Listening());
        return s;
    }
    std::unique_ptr<RunningSite> Start() { return Start(TestSiteConfig(spec_)); }
    nlohmann::json Stored() {
        const CommandOutput list = RunSiteCommand({"feedback", "list", "--json"}, spec_);
        EXPECT_EQ(list.status, 0) << list.err;
        return nlohmann::json::parse(list.out.empty() ? "[]" : list.out);
    }
};

TEST_P(SiteTest, TwoHundredPostsAtOnceAreAllStoredAndConfirmed) {
    auto site = Start();
    std::atomic<int> confirmed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 20; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < 10; ++k) {
                // Each post from an address of its own, so the rate limit holds none back.
                const int n = t * 10 + k;
                const std::string from =
                    "127.0." + std::to_string(1 + n / 200) + "." + std::to_string(1 + n % 200);
                const RawAnswer a =
                    SendRaw(RawConnection::Tcp(site->Port(), from.c_str()),
                            Post("/feedback/addinfo.asp", kForm, Body("post" + std::to_string(n))));
                if (a.status == 200 && HasMarkerLine(a.body))
                    ++confirmed;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(confirmed.load(), 200);
    const auto rows = Stored();
    ASSERT_EQ(rows.size(), 200u);
    std::set<std::string> texts;
    for (const auto& r : rows)
        texts.insert(r["text"].get<std::string>());
    EXPECT_EQ(texts.size(), 200u);
}

TEST_P(SiteTest, HostileRequestsGetNoMarkerAndTheSiteServesOn) {
    site::SiteConfig config = TestSiteConfig(spec_);
    auto site = Start(config);
    const std::string big(200 * 1024, 'a');
    const struct {
        const char* name;
        std::string request;
        int status;
    } cases[] = {
        {"announced too long", Post("/feedback/addinfo.asp", kForm, Body(big)), 200},
        {"chunked past the limit",
         "POST /feedback/addinfo.asp HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
             [&] {
                 std::string chunks;
                 for (int i = 0; i < 40; ++i)
                     chunks += "1000\r\n" + std::string(0x1000, 'a') + "\r\n";
                 return chunks + "0\r\n\r\n";
             }(),
         413},
        {"no message", Post("/feedback/addinfo.asp", kForm, "user=orbix&text="), 200},
        {"not GBK", Post("/feedback/addinfo.asp", kForm, Body("%FF%FE")), 200},
        {"broken escape", Post("/feedback/addinfo.asp", kForm, Body("%Z1")), 200},
        {"text twice", Post("/feedback/addinfo.asp", kForm, Body("a") + "&text=b"), 200},
        {"a GET of the form", Get("/feedback/addinfo.asp"), 405},
        {"compressed body",
         Post("/feedback/addinfo.asp", kForm, Body("a"), "Content-Encoding: gzip\r\n"), 415},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RawAnswer a = SendRaw(site->Port(), c.request);
        EXPECT_EQ(a.status, c.status);
        EXPECT_FALSE(HasMarkerLine(a.body));
    }
    EXPECT_EQ(Stored().size(), 0u);

    // Five a minute from one address; the sixth is refused with 429.
    for (int i = 0; i < 6; ++i) {
        const RawAnswer a = SendRaw(RawConnection::Tcp(site->Port(), "127.0.0.9"),
                                    Post("/feedback/addinfo.asp", kForm, Body("r")));
        EXPECT_EQ(a.status, i < 5 ? 200 : 429) << i;
        EXPECT_EQ(HasMarkerLine(a.body), i < 5) << i;
        if (i == 5) {
            EXPECT_EQ(Header(a, "Retry-After"), "60");
        }
    }
    // Another address is not held back, and the site still answers.
    EXPECT_EQ(SendRaw(RawConnection::Tcp(site->Port(), "127.0.0.10"),
                      Post("/feedback/addinfo.asp", kForm, Body("ok")))
                  .status,
              200);
    EXPECT_EQ(SendRaw(site->Port(), Get("/translation.htm")).status, 200);
    EXPECT_EQ(Stored().size(), 6u);
}

QUILL_BOTH_BACKENDS(SiteTest);

class SiteSqlite : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        spec_ = "sqlite:" + dir_.filePath("site.sqlite3").toStdString();
    }
    QTemporaryDir dir_;
    std::string spec_;
};

TEST_F(SiteSqlite, VersionFileHasLengthEtagAndRevalidates) {
    {
        RunningSite site(TestSiteConfig(spec_));
        const RawAnswer none = SendRaw(site.Port(), Get("/update/quillversion.txt"));
        EXPECT_EQ(none.status, 404); // nothing published: no file the dialog would take
    }
    ASSERT_EQ(RunSiteCommand({"release", "add", "8.1", "--path", "https://x.test/"}, spec_).status,
              0);
    RunningSite site(TestSiteConfig(spec_));
    const RawAnswer a = SendRaw(site.Port(), Get("/update/quillversion.txt"));
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(a.body, "[information]\r\nversion=8.1\r\nPath=https://x.test/\r\n");
    EXPECT_EQ(Header(a, "Content-Length"), std::to_string(a.body.size()));
    EXPECT_EQ(Header(a, "Cache-Control"), "public, max-age=60");
    const std::string etag = Header(a, "ETag");
    ASSERT_EQ(etag.front(), '"');

    const RawAnswer again = SendRaw(
        site.Port(), "GET /update/quillversion.txt HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + etag +
                         "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(again.body, "");
    EXPECT_EQ(Header(again, "Content-Length"), "<none>");
    EXPECT_EQ(Header(again, "ETag"), etag);

    const RawAnswer head =
        SendRaw(site.Port(),
                "HEAD /update/quillversion.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(Header(head, "Content-Length"), std::to_string(a.body.size()));
    EXPECT_EQ(SendRaw(site.Port(), Post("/update/quillversion.txt", kForm, "x")).status, 405);
    EXPECT_EQ(SendRaw(site.Port(), Get("/nothing")).status, 404);
    EXPECT_EQ(SendRaw(site.Port(), Get("/admin/")).status, 404); // no token: no admin page
}

TEST_F(SiteSqlite, OnlyATrustedProxyNamesTheClient) {
    site::SiteConfig config = TestSiteConfig(spec_);
    config.trustedProxies = {"127.0.0.2"};
    RunningSite site(config);
    const std::string xff = "X-Forwarded-For: 198.51.100.7, 203.0.113.5\r\n";
    for (const char* from : {"127.0.0.2", "127.0.0.3"})
        ASSERT_EQ(SendRaw(RawConnection::Tcp(site.Port(), from),
                          Post("/feedback/addinfo.asp", kForm, Body("x"), xff))
                      .status,
                  200);
    const CommandOutput list = RunSiteCommand({"feedback", "list", "--json"}, spec_);
    const auto rows = nlohmann::json::parse(list.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["address"], "203.0.113.5");
    EXPECT_EQ(rows[1]["address"], "127.0.0.3");
}

TEST_F(SiteSqlite, MakersCommandsSayWhatWentWrong) {
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"release", "add", "8.1"}, 2, "needs --path"},
        {{"release", "add", "8.1", "--path", "file:///x"}, 2, "http:// or https://"},
        {{"release", "add", "v8", "--path", "https://x.test/"}, 2, "digits and dots"},
        {{"release", "add", "8.2", "--path", "https://x.test/"}, 0, ""},
        {{"release", "add", "8.2", "--path", "https://x.test/"}, 1, "version 8.2 exists"},
        {{"release", "add", "8.1", "--path", "https://x.test/"}, 0, ""},
        {{"feedback", "show", "7"}, 1, "no message 7"},
        {{"feedback", "delete", "7"}, 1, "no message 7"},
        {{"feedback", "show", "x"}, 2, "positive number"},
        {{"feedback", "list", "--since", "May"}, 2, "--since"},
        {{"feedback", "frobnicate"}, 2, "unknown command"},
        {{"feedback", "list", "--bogus"}, 2, "unknown option"},
    };
    for (const auto& c : cases) {
        const CommandOutput r = RunSiteCommand(c.args, spec_);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    const CommandOutput list = RunSiteCommand({"release", "list"}, spec_);
    EXPECT_NE(list.out.find("8.2 (offered)"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("8.1 (offered)"), std::string::npos) << list.out;
}

TEST_F(SiteSqlite, FeedbackCanBeListedSinceShownAndDeleted) {
    {
        RunningSite site(TestSiteConfig(spec_));
        for (const char* text : {"one", "two"})
            ASSERT_EQ(SendRaw(site.Port(), Post("/feedback/addinfo.asp", kForm, Body(text))).status,
                      200);
    }
    const auto all =
        nlohmann::json::parse(RunSiteCommand({"feedback", "list", "--json"}, spec_).out);
    ASSERT_EQ(all.size(), 2u);
    const std::string id = std::to_string(all[0]["id"].get<int>());
    EXPECT_NE(RunSiteCommand({"feedback", "show", id}, spec_).out.find("\none\n"),
              std::string::npos);
    EXPECT_EQ(RunSiteCommand({"feedback", "list", "--json", "--since", "2999-01-01"}, spec_).out,
              "[]\n");
    EXPECT_EQ(RunSiteCommand({"feedback", "delete", id}, spec_).status, 0);
    const CommandOutput csv = RunSiteCommand({"feedback", "list", "--csv"}, spec_);
    EXPECT_EQ(csv.out.find(",one,"), std::string::npos);
    EXPECT_NE(csv.out.find(",two,"), std::string::npos);
}

} // namespace
