#include "feedback/FormEncode.h"
#include "siteweb/FeedbackForm.h"
#include "siteweb/FeedbackReply.h"
#include "siteweb/GbkText.h"

#include <QDateTime>
#include <gtest/gtest.h>

using namespace siteweb;

namespace {

// The body exactly as the program's dialog builds it.
std::string ProgramBody(const QString& contact, const QString& typed) {
    FeedbackInput input;
    input.contact = contact;
    // The text box hands its lines over with CR LF.
    input.message = QString(typed).replace("\n", "\r\n");
    input.now = QDateTime(QDate(2024, 5, 6), QTime(7, 8));
    input.productTag = kFeedbackProductTag;
    input.installationId = "0123456789abcdef0123456789abcdef";
    return FeedbackBody(input).toStdString();
}

TEST(FeedbackForm, WhatTheProgramSendsDecodesToWhatWasTyped) {
    const struct {
        const char* name;
        QString contact;
        QString typed;
        std::string expectedContact; // the program drops blanks from the contact
    } cases[] = {
        {"Chinese with blanks and line breaks", "qq 12345", "好 用\n谢谢  你\n\n最后一行",
         "qq12345"},
        {"empty contact", "", "hello", ""},
        {"blanks only", "a b", "   ", "ab"},
        {"markup the user typed", "x", "<br> and &amp; stay; 100% + = ?", "x"},
        {"a <br> at a line end", "x", "a<br>\nb", "x"},
        {"euro sign and full-width text", "x", "€ ＡＢＣ，。", "x"},
        {"trailing line break", "x", "end\n", "x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FeedbackForm form;
        std::string field;
        ASSERT_EQ(ParseFeedbackForm(ProgramBody(c.contact, c.typed), form, field),
                  FormProblem::None)
            << field;
        EXPECT_EQ(form.text, c.typed.toStdString());
        EXPECT_EQ(form.contact, c.expectedContact);
        EXPECT_EQ(form.product, "Quillmate_8.0_Linux");
        EXPECT_EQ(form.installation, "0123456789abcdef0123456789abcdef");
        EXPECT_EQ(form.clientTime, "2024-05-06 07:08");
    }
}

TEST(FeedbackForm, BadBodiesAreRefusedWithTheirReason) {
    const std::string ok = "user=orbix&name=Q&email=&title=%C4%FA%BA%C3&text=hi&image=on&home=h"
                           "&time=t";
    const struct {
        const char* name;
        std::string body;
        FormProblem problem;
        const char* field;
    } cases[] = {
        {"no text field", "user=orbix&name=Q", FormProblem::NoMessage, "text"},
        {"empty text", "user=orbix&text=&time=x", FormProblem::NoMessage, "text"},
        {"empty body", "", FormProblem::NoMessage, "text"},
        {"broken escape", "text=%4", FormProblem::Malformed, ""},
        {"escape with no hex", "text=%G1", FormProblem::Malformed, ""},
        {"pair without =", "text", FormProblem::Malformed, ""},
        {"text twice", ok + "&text=again", FormProblem::RepeatedField, "text"},
        {"lone GBK lead byte", "text=a%C4", FormProblem::NotGbk, "text"},
        {"byte no GBK character starts with", "text=%FF%FF", FormProblem::NotGbk, "text"},
        {"NUL byte", "text=a%00b", FormProblem::NotGbk, "text"},
        {"contact not GBK", "email=%81&text=x", FormProblem::NotGbk, "email"},
        {"text over its limit", "text=" + std::string(24 * 1024 + 1, 'a'),
         FormProblem::FieldTooLong, "text"},
        {"installation over its limit", "home=" + std::string(129, 'a') + "&text=x",
         FormProblem::FieldTooLong, "home"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FeedbackForm form;
        std::string field;
        EXPECT_EQ(ParseFeedbackForm(c.body, form, field), c.problem);
        if (c.problem != FormProblem::Malformed) {
            EXPECT_EQ(field, c.field);
        }
        EXPECT_FALSE(FormProblemText(c.problem, field).empty());
    }
    FeedbackForm form;
    std::string field;
    EXPECT_EQ(ParseFeedbackForm(ok + "&extra=1", form, field), FormProblem::None);
    EXPECT_EQ(form.text, "hi");
}

TEST(FeedbackForm, TheLongestMessageTheProgramSendsFits) {
    // 1000 blanks are the worst case: each goes out as "&nbsp;", percent-encoded.
    const std::string body = ProgramBody(QString(1000, 'x'), QString(1000, ' '));
    EXPECT_LT(body.size(), kMaxFeedbackBody);
    FeedbackForm form;
    std::string field;
    EXPECT_EQ(ParseFeedbackForm(body, form, field), FormProblem::None) << field;
    EXPECT_EQ(form.text, std::string(1000, ' '));
}

TEST(FeedbackReply, OnlyTheStoredPageCarriesTheMarkerLine) {
    const QByteArray stored = QByteArray::fromStdString(FeedbackStoredPage());
    EXPECT_TRUE(HasSuccessMarker(stored));
    for (const char* reason : {"留言内容为空", "留言成功", "<script>"}) {
        const std::string page = FeedbackRefusedPage(reason);
        EXPECT_FALSE(HasSuccessMarker(QByteArray::fromStdString(page))) << reason;
        std::string utf8;
        ASSERT_TRUE(GbkToUtf8(page, utf8));
        EXPECT_EQ(utf8.find("<script>"), std::string::npos);
    }
}

} // namespace
