// The program's own feedback and update dialogs against the real site.
#include "RunningSite.h"
#include "ServiceStandIn.h"
#include "TempHome.h"
#include "feedback/SendUserInfo.h"
#include "platform/Connectivity.h"
#include "platform/ShellOpen.h"
#include "toolkit/SkinMessage.h"
#include "toolkit/UnicodeMemo.h"
#include "update/UpdateForm.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

const QString kThanks = QStringLiteral("   提 交 信 息 成 功 ，我 们 会 尽 快 回 复 您 。");
const QString kNoNewVersion =
    QStringLiteral("   检 测 升 级 信 息 完 成 ， 但 是 没 有 新 版 本。");

class DesktopClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        database_ = "sqlite:" + dir_.filePath("site.sqlite3").toStdString();
        SetConnectedStateOverride(true);
        TbsSkinMessage::SetAnswerer([this](const QString& text, int, int) {
            shown_ << text;
            return answer_;
        });
        SetShellOpenHook([this](const QString& address) { opened_ << address; });
    }
    void TearDown() override {
        TbsSkinMessage::SetAnswerer(nullptr);
        SetShellOpenHook(nullptr);
        SetConnectedStateOverride(std::nullopt);
        qunsetenv("QUILLMATE_FEEDBACK_URL");
        qunsetenv("QUILLMATE_UPDATE_URL");
    }

    TempHome home_;
    QTemporaryDir dir_;
    std::string database_;
    QStringList shown_;
    QStringList opened_;
    int answer_ = TbsSkinMessage::mrOk;
};

TEST_F(DesktopClient, FeedbackListShowsWhatWasTyped) {
    RunningSite site(TestSiteConfig(database_));
    ASSERT_TRUE(site.Listening());
    qputenv("QUILLMATE_FEEDBACK_URL", QByteArray::fromStdString(site.Url("/feedback/addinfo.asp")));
    const struct {
        QString contact;
        QString typed;
    } cases[] = {
        {"qq 1234 5678", QStringLiteral("软件很好用 ，但是\n希望  增加日语\n\n谢谢！ ")},
        {"", QStringLiteral("没有联系方式 & <br> 也行 100%")},
        {" a@b.cn ", QStringLiteral("  ")},
    };
    for (const auto& c : cases) {
        shown_.clear();
        TSendUserInfo dialog;
        dialog.show();
        dialog.UserEMail->setText(c.contact);
        dialog.InfoText->setPlainText(c.typed);
        dialog.bsSkinButton1->click();
        ASSERT_TRUE(WaitUntil([&] { return !shown_.isEmpty(); }, 15000));
        EXPECT_EQ(shown_, QStringList{kThanks}) << c.typed.toStdString();
    }

    const CommandOutput list = RunSiteCommand({"feedback", "list", "--json"}, database_);
    ASSERT_EQ(list.status, 0) << list.err;
    const auto rows = nlohmann::json::parse(list.out);
    ASSERT_EQ(rows.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(rows[i]["text"], cases[i].typed.toStdString());
        // The dialog drops the contact's blanks before sending.
        EXPECT_EQ(rows[i]["contact"], QString(cases[i].contact).remove(' ').toStdString());
        EXPECT_EQ(rows[i]["product"], "Quillmate_8.0_Linux");
        EXPECT_EQ(rows[i]["address"], "127.0.0.1");
        EXPECT_EQ(rows[i]["installation"].get<std::string>().size(), 32u);
        EXPECT_EQ(rows[i]["client_time"].get<std::string>().size(), 16u);
    }
}

TEST_F(DesktopClient, UpdateDialogOffersTheNewestRelease) {
    site::SiteConfig config = TestSiteConfig(database_);
    config.releaseMaxAge = std::chrono::milliseconds(0); // each request reads the releases
    RunningSite site(config);
    ASSERT_TRUE(site.Listening());
    qputenv("QUILLMATE_UPDATE_URL",
            QByteArray::fromStdString(site.Url("/update/quillversion.txt")));
    const auto check = [&] {
        shown_.clear();
        opened_.clear();
        TUpdateForm dialog;
        dialog.show();
        dialog.bsSkinButton1->click();
        EXPECT_TRUE(WaitUntil([&] { return !shown_.isEmpty(); }, 15000));
    };

    ASSERT_EQ(
        RunSiteCommand({"release", "add", "8.0", "--path", "https://x.test/8.0"}, database_).status,
        0);
    check();
    EXPECT_EQ(shown_, QStringList{kNoNewVersion});
    EXPECT_TRUE(opened_.isEmpty());

    const CommandOutput add =
        RunSiteCommand({"release", "add", "8.1", "--path", "https://www.quillmate.net/d.htm",
                        "--prompt", "Quillmate 8.1 已发布，是否现在下载？"},
                       database_);
    ASSERT_EQ(add.status, 0) << add.err;
    answer_ = TbsSkinMessage::mrYes;
    check();
    EXPECT_EQ(shown_, QStringList{QStringLiteral("   Quillmate 8.1 已发布，是否现在下载？")});
    EXPECT_EQ(opened_, QStringList{"https://www.quillmate.net/d.htm"});
}

} // namespace
