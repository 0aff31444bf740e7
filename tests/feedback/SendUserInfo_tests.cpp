#include "SkinnedDialogTest.h"
#include "feedback/InstallationId.h"
#include "feedback/SendUserInfo.h"
#include "http/auHTTP.h"
#include "toolkit/BusinessSkinForm.h"
#include "toolkit/CursorTable.h"
#include "toolkit/SkinMessage.h"
#include "toolkit/UnicodeMemo.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray kMarker = "\xC1\xF4\xD1\xD4\xB3\xC9\xB9\xA6";
const QString kEmpty = QStringLiteral("   请 输 入 您 要 提 交 的 内 容！");
const QString kOffline = QStringLiteral("   计 算 机 没 有 连 接 到 网 络 !");
const QString kThanks = QStringLiteral("   提 交 信 息 成 功 ，我 们 会 尽 快 回 复 您 。");
const QString kRefused = QStringLiteral("   提 交 信 息 失 败 ，请 稍 后 再 试 。");
const QString kHttpError = QStringLiteral("   计 算 机 连 接 服 务 器 错 误 ，请 稍 后 再 试 。");
const QString kUnreachable =
    QStringLiteral("   计 算 机 不 能 连 接 到 服 务 器 ，请 稍 后 再 试。");

StandInAnswer Page(const QByteArray& body, int status = 200) {
    StandInAnswer a;
    a.status = status;
    a.headers = {{"Content-Type", "text/html; charset=gb2312"}};
    a.body = body;
    return a;
}

class SendUserInfoTest : public SkinnedDialogTest<TSendUserInfo> {
protected:
    void Prepare(TSendUserInfo& form) override {
        form.Clock = [] { return QDateTime(QDate(2024, 5, 6), QTime(7, 8, 30)); };
    }
    // Submits and waits until the reply's handler has run.
    void Submit() {
        const size_t before = shown_.size();
        form_->bsSkinButton1->click();
        ASSERT_TRUE(WaitUntil([&] { return shown_.size() > before; }, 15000));
    }
};

TEST_F(SendUserInfoTest, ShowsItsControls) {
    EXPECT_EQ(form_->windowTitle(), QStringLiteral(" 提 交 信 息 "));
    EXPECT_EQ(form_->ClientArea->size(), QSize(501, 268));
    EXPECT_EQ(form_->bsBusinessSkinForm1->CaptionBar()->CaptionLabel->text(),
              QStringLiteral(" 提 交 信 息 "));
    EXPECT_EQ(form_->bsSkinButton1->text(), QStringLiteral("提 交 信 息"));
    EXPECT_EQ(form_->bsSkinButton2->text(), QStringLiteral("关  闭"));
    EXPECT_EQ(form_->bsSkinButton3->text(), QStringLiteral("访问主页"));
    EXPECT_EQ(form_->bsSkinButton1->geometry(), QRect(212, 230, 120, 25));
    EXPECT_EQ(form_->UserEMail->geometry(), QRect(80, 19, 399, 20));
    EXPECT_EQ(form_->UserEMail->toolTip(),
              QStringLiteral("请填写E-Mail或其它联系方式，以方便我们与您联系"));
    EXPECT_EQ(form_->InfoText->toolTip(), QStringLiteral("提交的内容"));
    EXPECT_EQ(form_->bsSkinButton1->toolTip(), QStringLiteral("将信息发送给我们,我们将予以回复"));
    EXPECT_EQ(form_->InfoText->MaxLength(), 1000);
    EXPECT_EQ(form_->auHTTP1->RequestMethod, rmPOST);
    EXPECT_FALSE(form_->auHTTP1->UseCache);
}

TEST_F(SendUserInfoTest, PostsTheFormAndThanksOnTheMarkerLine) {
    standIn_.SetAnswer(kFeedbackPath, Page("<html>\r\n" + kMarker + "\r\n</html>\r\n"));
    form_->UserEMail->setText(" me @example.cn");
    form_->InfoText->setPlainText(QString::fromUtf8("好 用\n谢谢"));
    Submit();

    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, kThanks);
    EXPECT_EQ(shown_[0].kind, 2);
    EXPECT_EQ(shown_[0].buttons, 4);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(ScreenCursor(), crDefault);

    ASSERT_EQ(standIn_.RequestCount(), 1);
    const StandInRequest r = standIn_.Requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path(), kFeedbackPath);
    // 好 C2 BA, 用 D3 C3, 谢 D0 BB; the line break arrives as "<br>" and a line feed.
    const QByteArray expected = "user=orbix&name=Quillmate%5F8%2E0%5FLinux&email=me%40example%2Ecn"
                                "&title=%C4%FA%BA%C3&text=%BA%C3%26nbsp%3B%D3%C3%3Cbr%3E%0A%D0%BB"
                                "%D0%BB&image=on&home=" +
                                InstallationIdentifier() + "&time=2024%2D05%2D06%26nbsp%3B07%3A08";
    // The product tag goes in as it is.
    EXPECT_EQ(r.body,
              QByteArray(expected).replace("Quillmate%5F8%2E0%5FLinux", "Quillmate_8.0_Linux"));
}

struct ReplyCase {
    const char* name;
    std::function<void(ServiceStandIn&)> arrange;
    QString message;
};

TEST_F(SendUserInfoTest, FailuresKeepTheDialogAndItsContent) {
    const ReplyCase cases[] = {
        {"marker inside a longer line",
         [](ServiceStandIn& s) { s.SetAnswer(kFeedbackPath, Page("<b>" + kMarker + "</b>")); },
         kRefused},
        {"page without marker",
         [](ServiceStandIn& s) { s.SetAnswer(kFeedbackPath, Page("error")); }, kRefused},
        {"server error", [](ServiceStandIn& s) { s.SetAnswer(kFeedbackPath, Page(kMarker, 500)); },
         kHttpError},
        {"not found", [](ServiceStandIn&) {}, kHttpError},
        {"reply cut short",
         [](ServiceStandIn& s) {
             StandInAnswer a = Page(QByteArray(3000, 'x'));
             a.closeAfter = 10;
             s.SetAnswer(kFeedbackPath, a);
         },
         kHttpError},
        {"unreachable",
         [](ServiceStandIn&) {
             qputenv("QUILLMATE_FEEDBACK_URL", "http://127.0.0.1:1/feedback/addinfo.asp");
         },
         kUnreachable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceStandIn standIn;
        standIn.PointEndpointsHere();
        c.arrange(standIn);
        shown_.clear();
        form_->show();
        form_->InfoText->setPlainText("hello");
        form_->UserEMail->setText("x");
        Submit();
        ASSERT_EQ(shown_.size(), 1u);
        EXPECT_EQ(shown_[0].text, c.message);
        EXPECT_EQ(shown_[0].kind, 1);
        EXPECT_EQ(shown_[0].buttons, 4);
        EXPECT_TRUE(form_->isVisible());
        EXPECT_EQ(form_->InfoText->toPlainText(), "hello");
        EXPECT_EQ(form_->UserEMail->text(), "x");
        EXPECT_EQ(ScreenCursor(), crDefault);
    }
}

TEST_F(SendUserInfoTest, RefusedBeforeSending) {
    form_->UserEMail->setText("someone@example.cn");
    form_->bsSkinButton1->click();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, kEmpty);
    EXPECT_EQ(shown_[0].kind, 1);

    SetConnectedStateOverride(false);
    form_->InfoText->setPlainText(" ");
    form_->bsSkinButton1->click();
    ASSERT_EQ(shown_.size(), 2u);
    EXPECT_EQ(shown_[1].text, kOffline);
    EXPECT_EQ(shown_[1].kind, 1);
    EXPECT_EQ(standIn_.RequestCount(), 0);
}

TEST_F(SendUserInfoTest, CtrlOrShiftEnterSubmitsPlainEnterBreaksTheLine) {
    const struct {
        Qt::KeyboardModifiers modifiers;
        bool submits;
    } cases[] = {
        {Qt::ControlModifier, true},
        {Qt::ShiftModifier, true},
        {Qt::ControlModifier | Qt::ShiftModifier, true},
        {Qt::NoModifier, false},
        {Qt::AltModifier, false},
    };
    for (const auto& c : cases) {
        shown_.clear();
        form_->InfoText->clear();
        form_->InfoText->setFocus();
        // With an empty box a submit shows the request for content at once.
        QTest::keyClick(form_->InfoText, Qt::Key_Return, c.modifiers);
        EXPECT_EQ(!shown_.empty(), c.submits) << int(c.modifiers);
        if (c.submits) {
            EXPECT_EQ(shown_[0].text, kEmpty);
        }
    }
    shown_.clear();
    form_->InfoText->clear();
    QTest::keyClicks(form_->InfoText, "ab");
    QTest::keyClick(form_->InfoText, Qt::Key_Return);
    EXPECT_EQ(form_->InfoText->toPlainText(), "ab\n");
    EXPECT_TRUE(shown_.empty());
}

TEST_F(SendUserInfoTest, HomePageButtonOpensTheProductPage) {
    form_->bsSkinButton3->click();
    EXPECT_EQ(opened_, QStringList{standIn_.Url(QString::fromLatin1(kHomePath))});
    EXPECT_TRUE(shown_.empty());
}

TEST_F(SendUserInfoTest, CloseButtonCancels) {
    form_->bsSkinButton2->click();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->result(), QDialog::Rejected);
}

} // namespace
