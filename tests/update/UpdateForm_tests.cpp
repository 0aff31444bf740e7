#include "SkinnedDialogTest.h"
#include "http/auHTTP.h"
#include "toolkit/BusinessSkinForm.h"
#include "toolkit/CursorTable.h"
#include "toolkit/SkinMessage.h"
#include "update/UpdateForm.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

const QString kNoNewVersion =
    QStringLiteral("   检 测 升 级 信 息 完 成 ， 但 是 没 有 新 版 本。");
const QString kDefaultQuestion =
    QStringLiteral("   获取升级信息完成，发现有新版本！！是否现在下载新版本？");
const QString kFetchFailed = QStringLiteral("   获 取 升 级 信 息 失 败 ！ 请 稍 后 再 试 。");
const QString kServerFailed = QStringLiteral("   连 接 服 务 器 失 败 ， 请 稍 后 再 试 。");
const QString kServerTimeout = QStringLiteral("   连 接 服 务 器 超 时 ， 请 稍 后 再 试 。");
const QString kNoNetwork =
    QStringLiteral("   连 接 到 网 络 错 误 ， 请 检 查 本 地 网 络 设 置 。");

StandInAnswer Ini(const QByteArray& text) {
    StandInAnswer a;
    a.headers = {{"Content-Type", "text/plain"}};
    a.body = text;
    return a;
}

class UpdateFormTest : public SkinnedDialogTest<TUpdateForm> {
protected:
    void Start() {
        form_->bsSkinButton1->click();
        // The component waits for its worker; the events have run when it returns.
        ASSERT_TRUE(WaitUntil([&] { return !form_->auHTTP1->IsBusy(); }, 15000));
    }
    void ExpectIdle() {
        EXPECT_TRUE(form_->isVisible());
        EXPECT_TRUE(form_->bsSkinButton1->isEnabled());
        EXPECT_EQ(form_->bsSkinGauge1->value(), 0);
        EXPECT_EQ(form_->bsSkinGauge2->value(), 0);
        EXPECT_EQ(form_->bsSkinGauge1->text(), QStringLiteral("检测网络配置"));
        EXPECT_EQ(form_->bsSkinGauge2->text(), QStringLiteral("获取升级信息"));
        EXPECT_EQ(ScreenCursor(), crDefault);
    }
};

TEST_F(UpdateFormTest, ShowsItsControls) {
    EXPECT_EQ(form_->windowTitle(), QStringLiteral("检 测 新 版 本"));
    EXPECT_EQ(form_->ClientArea->size(), QSize(378, 143));
    // The caption bar sits on top and closes the dialog.
    auto* bar = form_->bsBusinessSkinForm1->CaptionBar();
    EXPECT_EQ(form_->height(), 143 + bar->height());
    EXPECT_FALSE(bar->MaximizeButton->isVisible());
    EXPECT_FALSE(bar->TrayButton->isVisible());
    EXPECT_EQ(bar->CaptionLabel->text(), QStringLiteral("检 测 新 版 本"));

    EXPECT_EQ(form_->bsSkinButton1->text(), QStringLiteral("开  始"));
    EXPECT_EQ(form_->bsSkinButton2->text(), QStringLiteral("取  消"));
    EXPECT_EQ(form_->bsSkinGauge1->geometry(), QRect(68, 20, 288, 20));
    EXPECT_EQ(form_->bsSkinGauge2->geometry(), QRect(68, 58, 288, 20));
    EXPECT_EQ(form_->bsSkinButton2->geometry(), QRect(222, 106, 75, 25));
    EXPECT_EQ(form_->auHTTP1->WaitTimeout, 30000);
    EXPECT_TRUE(form_->auHTTP1->WaitThread);
    ExpectIdle();
    bar->CloseButton->click();
    EXPECT_FALSE(form_->isVisible());
}

struct VersionCase {
    const char* name;
    QByteArray file;
    int answer;
    QString message; // the one message shown
    int kind;
    QStringList opened;
};

TEST_F(UpdateFormTest, VersionFileOutcomes) {
    const QString web = "http://www.example.test/quillmate-8.1.htm";
    const VersionCase cases[] = {
        {"same version",
         "[information]\r\nversion=8.0\r\n",
         TbsSkinMessage::mrYes,
         kNoNewVersion,
         2,
         {}},
        {"newer, answered No",
         "[information]\nversion=8.1\nPath=" + web.toUtf8() + "\n",
         TbsSkinMessage::mrNo,
         kDefaultQuestion,
         3,
         {}},
        {"newer, answered Yes",
         "[information]\nversion=8.1\nPath=" + web.toUtf8() + "\n",
         TbsSkinMessage::mrYes,
         kDefaultQuestion,
         3,
         {web}},
        {"own prompt",
         QString::fromUtf8("[Information]\nVersion=9\nNewVersionPrompt=有新版本 9\n"
                           "path=https://example.test/\n")
             .toUtf8(),
         TbsSkinMessage::mrYes,
         QString::fromUtf8("   有新版本 9"),
         3,
         {"https://example.test/"}},
        {"8.00 differs from 8.0",
         "[information]\nversion=8.00\n",
         TbsSkinMessage::mrYes,
         kDefaultQuestion,
         3,
         {}},
        {"no section at all", "version=8.0\n", TbsSkinMessage::mrNo, kDefaultQuestion, 3, {}},
        // A downloaded file must never make us start a local program or document.
        {"local program path",
         "[information]\nversion=8.1\nPath=/usr/bin/xterm\n",
         TbsSkinMessage::mrYes,
         kDefaultQuestion,
         3,
         {}},
        {"file address",
         "[information]\nversion=8.1\nPath=file:///tmp/setup.sh\n",
         TbsSkinMessage::mrYes,
         kDefaultQuestion,
         3,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        shown_.clear();
        opened_.clear();
        answer_ = c.answer;
        standIn_.SetAnswer(kUpdatePath, Ini(c.file));
        form_->show();
        Start();
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].text, c.message);
        EXPECT_EQ(shown_[0].kind, c.kind);
        EXPECT_EQ(shown_[0].buttons, c.kind == 3 ? 3 : 4);
        EXPECT_EQ(opened_, c.opened);
        EXPECT_FALSE(form_->isVisible());
        EXPECT_EQ(ScreenCursor(), crDefault);
        EXPECT_EQ(form_->bsSkinGauge2->value(), 0);
    }
    // The version file lands in the data folder; each check overwrites it.
    QFile saved(home_.dataDir() + "/version.ini");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), cases[std::size(cases) - 1].file);
    const auto requests = standIn_.Requests();
    ASSERT_FALSE(requests.isEmpty());
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path(), kUpdatePath);
    EXPECT_EQ(requests[0].header("Cache-Control"), "no-cache");
}

struct FailureCase {
    const char* name;
    std::function<void(ServiceStandIn&, TUpdateForm&)> arrange;
    QString message;
    bool closes;
};

TEST_F(UpdateFormTest, FailureOutcomes) {
    const FailureCase cases[] = {
        {"empty file", [](ServiceStandIn& s, TUpdateForm&) { s.SetAnswer(kUpdatePath, Ini("")); },
         kFetchFailed, true},
        // Without a length the answer stays in memory: no file, so a failure.
        {"chunked answer, no earlier file",
         [](ServiceStandIn& s, TUpdateForm&) {
             StandInAnswer a = Ini("[information]\nversion=8.0\n");
             a.chunkSize = 8;
             s.SetAnswer(kUpdatePath, a);
         },
         kFetchFailed, true},
        {"404", [](ServiceStandIn&, TUpdateForm&) {}, kServerFailed, false},
        {"500",
         [](ServiceStandIn& s, TUpdateForm&) {
             StandInAnswer a;
             a.status = 500;
             s.SetAnswer(kUpdatePath, a);
         },
         kServerFailed, false},
        {"answer cut short",
         [](ServiceStandIn& s, TUpdateForm&) {
             StandInAnswer a = Ini(QByteArray(3000, ';'));
             a.closeAfter = 100;
             s.SetAnswer(kUpdatePath, a);
         },
         kServerFailed, false},
        // The data folder is a file: the version file cannot be written.
        {"version file cannot be written",
         [](ServiceStandIn& s, TUpdateForm&) {
             s.SetAnswer(kUpdatePath, Ini("[information]\nversion=8.1\n"));
             QFile::remove(TUpdateForm::VersionFilePath());
             QDir().mkpath(TUpdateForm::VersionFilePath());
         },
         kFetchFailed, false},
        {"unreachable",
         [](ServiceStandIn&, TUpdateForm&) {
             qputenv("QUILLMATE_UPDATE_URL", "http://127.0.0.1:1/update/quillversion.txt");
         },
         kServerFailed, false},
        {"wait times out",
         [](ServiceStandIn& s, TUpdateForm& f) {
             StandInAnswer a = Ini("[information]\nversion=8.0\n");
             a.headerDelayMs = 5000;
             s.SetAnswer(kUpdatePath, a);
             f.auHTTP1->WaitTimeout = 300;
         },
         kServerTimeout, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        shown_.clear();
        form_.emplace();
        form_->show();
        c.arrange(standIn, *form_);
        Start();
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].text, c.message);
        EXPECT_EQ(shown_[0].kind, 1);
        EXPECT_EQ(shown_[0].buttons, 4);
        if (c.closes) {
            EXPECT_FALSE(form_->isVisible());
            EXPECT_EQ(ScreenCursor(), crDefault);
        } else {
            ExpectIdle();
        }
        form_.reset();
    }
}

TEST_F(UpdateFormTest, OfflineComputerSendsNothing) {
    SetConnectedStateOverride(false);
    Start();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, kNoNetwork);
    EXPECT_EQ(shown_[0].kind, 1);
    EXPECT_EQ(standIn_.RequestCount(), 0);
    ExpectIdle();
}

TEST_F(UpdateFormTest, CancelDuringDownloadAbortsAndCloses) {
    StandInAnswer slow = Ini("[information]\nversion=8.1\n");
    slow.headerDelayMs = 5000;
    standIn_.SetAnswer(kUpdatePath, slow);
    QTimer::singleShot(300, form_->bsSkinButton2, [this] { form_->bsSkinButton2->click(); });
    Start();
    EXPECT_TRUE(shown_.empty());
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->auHTTP1->IsBusy());
}

TEST_F(UpdateFormTest, EventsOfAnotherAddressAreIgnored) {
    form_->auHTTP1->URL = "http://127.0.0.1:1/other";
    form_->auHTTP1Progress(form_->auHTTP1, "", 10, 5, 0, 0, 50, 0, nullptr);
    form_->auHTTP1Done(form_->auHTTP1, "", 0, nullptr);
    EXPECT_TRUE(shown_.empty());
    EXPECT_EQ(form_->bsSkinGauge2->value(), 0);
    EXPECT_TRUE(form_->isVisible());
}

} // namespace
