// The admin page in a real browser: closed without a token, the login, the
// list, the search, paging and marking a message answered.
#include "RawHttp.h"
#include "RunningSite.h"
#include "WebDriver.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

namespace {

const std::string kToken = "s3cret-admin-token-0123";

std::string Body(const std::string& text) {
    return "user=orbix&name=Quillmate_8.0_Linux&email=me%40x.cn&title=%C4%FA%BA%C3&text=" + text +
           "&image=on&home=h&time=2024%2D05%2D06%26nbsp%3B07%3A08";
}

int Rows(WebDriver& b) {
    return b.Run("return document.querySelectorAll('tbody tr').length;").get<int>();
}

std::string BodyText(WebDriver& b) {
    return b.Run("return document.body.innerText.trim();").get<std::string>();
}

// A click that submits a form returns before the next page is there.
bool WaitFor(WebDriver& b, const std::string& condition) {
    for (int i = 0; i < 100; ++i) {
        if (b.Run("try { return !!(" + condition + "); } catch (e) { return false; }") == true)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class BrowserAdmin : public ::testing::Test {
protected:
    void SetUp() override {
        browser_ = WebDriver::Get();
        if (!browser_)
            GTEST_SKIP() << "browser cases skipped: " << WebDriver::SkipReason();
        ASSERT_TRUE(dir_.isValid());
        database_ = "sqlite:" + dir_.filePath("site.sqlite3").toStdString();
    }
    WebDriver* browser_ = nullptr;
    QTemporaryDir dir_;
    std::string database_;
};

TEST_F(BrowserAdmin, ClosedWithoutAToken) {
    RunningSite site(TestSiteConfig(database_));
    ASSERT_TRUE(browser_->Go(site.Url("/admin/")));
    EXPECT_EQ(BodyText(*browser_), "not found");
    EXPECT_EQ(browser_->Run("return document.querySelector('#token') === null;"), true);
}

TEST_F(BrowserAdmin, LoginListSearchPageAndMarkAnswered) {
    site::SiteConfig config = TestSiteConfig(database_);
    config.adminToken = kToken;
    config.rate = {0, 0};
    RunningSite site(config);
    // 55 messages: more than a page; one of them in Chinese, with markup.
    for (int i = 0; i < 54; ++i)
        ASSERT_EQ(
            SendRaw(site.Port(), Post("/feedback/addinfo.asp", "application/x-www-form-urlencoded",
                                      Body("message" + std::to_string(i))))
                .status,
            200);
    // "蓝色 <b>x</b>" in GBK
    ASSERT_EQ(
        SendRaw(site.Port(), Post("/feedback/addinfo.asp", "application/x-www-form-urlencoded",
                                  Body("%C0%B6%C9%AB%26nbsp%3B%3Cb%3Ex%3C%2Fb%3E")))
            .status,
        200);

    WebDriver& b = *browser_;
    ASSERT_TRUE(b.Go(site.Url("/admin/")));
    ASSERT_TRUE(b.Type("#token", "wrong-token-wrong-token"));
    ASSERT_TRUE(b.Click("#login"));
    EXPECT_TRUE(WaitFor(b, "document.querySelector('#error')"));
    EXPECT_EQ(b.Run("return document.querySelector('tbody') === null;"), true);

    ASSERT_TRUE(b.Type("#token", kToken));
    ASSERT_TRUE(b.Click("#login"));
    ASSERT_TRUE(WaitFor(b, "document.querySelector('tbody')"));
    ASSERT_EQ(Rows(b), 50);
    // Newest first: the Chinese one is at the top, its markup shown as text.
    EXPECT_EQ(b.Run("return document.querySelector('tbody tr td.text').textContent;"),
              "蓝色 <b>x</b>");
    // The session cookie is out of the page's reach.
    EXPECT_EQ(b.Run("return document.cookie;"), "");

    ASSERT_TRUE(b.Click("#next"));
    EXPECT_TRUE(WaitFor(b, "document.querySelectorAll('tbody tr').length === 5"));
    ASSERT_TRUE(b.Click("#previous"));
    EXPECT_TRUE(WaitFor(b, "document.querySelectorAll('tbody tr').length === 50"));

    ASSERT_TRUE(b.Type("#q", "蓝色"));
    ASSERT_TRUE(b.Click("#search"));
    ASSERT_TRUE(WaitFor(b, "document.querySelectorAll('tbody tr').length === 1"));
    ASSERT_TRUE(b.Click("tbody tr button.mark"));
    ASSERT_TRUE(WaitFor(b, "document.querySelector('tbody tr').className === 'answered'"));
    // Back on the same search, the message now marked.
    EXPECT_EQ(b.Run("return location.search;"), "?q=%E8%93%9D%E8%89%B2");
    ASSERT_EQ(Rows(b), 1);
    EXPECT_EQ(b.Run("return document.querySelector('tbody tr').className;"), "answered");
    EXPECT_NE(BodyText(b).find("已回复"), std::string::npos);
    const CommandOutput shown = RunSiteCommand({"feedback", "show", "55", "--json"}, database_);
    EXPECT_EQ(nlohmann::json::parse(shown.out)["answered"].is_string(), true) << shown.out;

    // A form posted without the page's token changes nothing.
    const RawAnswer forged =
        SendRaw(site.Port(), Post("/admin/answer", "application/x-www-form-urlencoded",
                                  "id=1&answered=1&csrf=x"));
    EXPECT_EQ(forged.status, 403);

    ASSERT_TRUE(b.Click("#logout"));
    EXPECT_TRUE(WaitFor(b, "document.querySelector('#token')"));
    ASSERT_TRUE(b.Go(site.Url("/admin/?q=x")));
    EXPECT_EQ(b.Run("return document.querySelector('tbody') === null;"), true);
}

} // namespace
