#include "siteweb/AdminPages.h"
#include "siteweb/ClientAddress.h"
#include "siteweb/FeedbackExport.h"
#include "siteweb/UtcTime.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace siteweb;

namespace {

TEST(ClientAddress, OnlyATrustedProxyNamesTheClient) {
    const std::vector<std::string> proxies = {"127.0.0.1", "unix", "::1"};
    const struct {
        const char* name;
        std::string peer;
        std::vector<std::string> forwarded;
        std::string expected;
    } cases[] = {
        {"direct client", "203.0.113.5", {"198.51.100.1"}, "203.0.113.5"},
        {"proxy: the last address", "127.0.0.1", {"198.51.100.1, 203.0.113.9"}, "203.0.113.9"},
        {"proxy: several header lines", "127.0.0.1", {"1.1.1.1", "2.2.2.2,3.3.3.3"}, "3.3.3.3"},
        {"proxy on the Unix socket", "unix", {"203.0.113.9"}, "203.0.113.9"},
        {"proxy over IPv6", "::1", {"2001:DB8::0:1"}, "2001:db8::1"},
        {"mapped IPv4 peer", "::ffff:127.0.0.1", {"203.0.113.9"}, "203.0.113.9"},
        {"proxy sent garbage", "127.0.0.1", {"1.1.1.1, not-an-address"}, "127.0.0.1"},
        {"proxy sent nothing", "127.0.0.1", {}, "127.0.0.1"},
        {"bracketed", "127.0.0.1", {"[2001:db8::2]"}, "2001:db8::2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClientAddress(c.peer, c.forwarded, proxies), c.expected) << c.name;
}

TEST(UtcTime, DatesAreReadAsUtcAndImpossibleOnesRefused) {
    const struct {
        const char* text;
        bool ok;
        std::int64_t ms;
    } cases[] = {
        {"1970-01-01", true, 0},
        {"2024-05-06", true, 1'714'953'600'000},
        {"2024-05-06 07:08", true, 1'714'979'280'000},
        {"2024-05-06T07:08:09Z", true, 1'714'979'289'000},
        {"2024-02-29", true, 1'709'164'800'000},
        {"2023-02-29", false, 0},
        {"2024-13-01", false, 0},
        {"2024-05-06 24:00", false, 0},
        {"2024-5-6", false, 0},
        {"2024-05-06 07", false, 0},
        {"yesterday", false, 0},
    };
    for (const auto& c : cases) {
        std::int64_t ms = -1;
        EXPECT_EQ(ParseUtc(c.text, ms), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
            // Printing and reading again gives the same second.
            std::int64_t again = -1;
            EXPECT_TRUE(ParseUtc(FormatUtc(ms), again));
            EXPECT_EQ(again, ms);
        }
    }
}

sitestore::Feedback Row(std::string text, std::string contact) {
    sitestore::Feedback f;
    f.id = 7;
    f.receivedMs = 1'714'979'289'000;
    f.address = "203.0.113.9";
    f.contact = std::move(contact);
    f.text = std::move(text);
    f.installation = "abc";
    f.clientTime = "2024-05-06 07:08";
    f.product = "Quillmate_8.0_Linux";
    return f;
}

TEST(FeedbackExport, JsonAndCsvKeepTheTextAndDefuseFormulas) {
    const auto row = Row("第一行\n\"二\", 三", "=HYPERLINK(\"x\")");
    const auto json = nlohmann::json::parse(FeedbackJson(std::vector{row}));
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["text"], row.text);
    EXPECT_EQ(json[0]["contact"], row.contact);
    EXPECT_EQ(json[0]["received"], "2024-05-06T07:08:09Z");
    EXPECT_EQ(json[0]["client_time"], "2024-05-06 07:08");
    EXPECT_TRUE(json[0]["answered"].is_null());

    const std::string csv = FeedbackCsv({row});
    EXPECT_NE(csv.find(",\"'=HYPERLINK(\"\"x\"\")\","), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"第一行\n\"\"二\"\", 三\","), std::string::npos) << csv;
}

TEST(AdminPages, StrangersTextIsEscapedEverywhere) {
    AdminListView view;
    view.rows = {Row("<img src=x onerror=alert(1)>", "\"><script>")};
    view.search = "\"><b>";
    view.csrf = "c\"s";
    view.page = 2;
    view.hasNext = true;
    const std::string html = AdminListHtml(view);
    for (const char* raw : {"<img", "<script>", "<b>", "c\"s"})
        EXPECT_EQ(html.find(raw), std::string::npos) << raw;
    EXPECT_NE(html.find("href=\"/admin/?q=%22%3E%3Cb%3E&amp;page=3\""), std::string::npos);
    EXPECT_NE(html.find("href=\"/admin/?q=%22%3E%3Cb%3E\""), std::string::npos); // page 1
}

} // namespace
