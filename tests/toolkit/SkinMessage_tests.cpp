#include "toolkit/SkinMessage.h"
#include "toolkit/SkinMessageDialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using M = TbsSkinMessage;

struct Recorded {
    QString text;
    int kind = -1;
    int buttons = -1;
};

class AnswererScope {
public:
    explicit AnswererScope(M::Answerer answerer) { M::SetAnswerer(std::move(answerer)); }
    ~AnswererScope() { M::SetAnswerer(nullptr); }
};

TEST(SkinMessage, AnswererSeesTextKindAndButtonsAndChoosesTheResult) {
    Recorded seen;
    AnswererScope scope([&](const QString& text, int kind, int buttons) {
        seen = {text, kind, buttons};
        return int(M::mrNo);
    });
    M box;
    const int result = box.ShowSkinMessage(QStringLiteral("  要 继 续 吗 ？"), M::mtConfirmation,
                                           M::mbYes | M::mbNo, 0);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(seen.text, QStringLiteral("  要 继 续 吗 ？"));
    EXPECT_EQ(seen.kind, 3);
    EXPECT_EQ(seen.buttons, 3);
}

TEST(SkinMessage, ButtonBitsAndResultCodesAreTheFixedOnes) {
    // Bit n of the set and the code the box returns for it.
    const struct {
        int bit;
        int result;
    } table[] = {{0, 6}, {1, 7}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 8}, {8, 9}, {9, 10}};
    for (const auto& row : table) {
        const QList<int> results = TbsSkinMessageDialog::ButtonResults(1 << row.bit);
        ASSERT_EQ(results.size(), 1) << "bit " << row.bit;
        EXPECT_EQ(results.first(), row.result) << "bit " << row.bit;
    }
    // Help (bit 10) is a button that answers nothing.
    EXPECT_EQ(TbsSkinMessageDialog::ButtonResults(1 << 10), QList<int>{0});
    // All eleven bits give eleven buttons in bit order.
    EXPECT_EQ(TbsSkinMessageDialog::ButtonResults(0x7FF),
              (QList<int>{6, 7, 1, 2, 3, 4, 5, 8, 9, 10, 0}));
}

TEST(SkinMessage, DefaultAndEscapeButtons) {
    const struct {
        int buttons;
        int enter;
        int escape;
    } table[] = {
        {M::mbOK, 1, 1},
        {M::mbYes | M::mbNo, 6, 7},
        {M::mbOK | M::mbCancel, 1, 2},
        {M::mbYes | M::mbNo | M::mbCancel, 6, 2},
        {M::mbYes | M::mbOK | M::mbNo, 1, 7},
        {M::mbAbort | M::mbRetry | M::mbIgnore, 0, 0},
        {M::mbYes, 6, 0},
        {M::mbNo, 0, 7},
        {0, 0, 0},
    };
    for (const auto& row : table) {
        EXPECT_EQ(TbsSkinMessageDialog::DefaultResult(row.buttons), row.enter) << row.buttons;
        EXPECT_EQ(TbsSkinMessageDialog::EscapeResult(row.buttons), row.escape) << row.buttons;
    }
}

TEST(SkinMessage, CaptionsAndIconsFollowTheKind) {
    QCoreApplication::setApplicationName(QStringLiteral("Quillmate"));
    const struct {
        int kind;
        const char* caption;
        bool icon;
    } table[] = {{0, "警告", true},
                 {1, "错误", true},
                 {2, "信息", true},
                 {3, "确认", true},
                 {4, "Quillmate", false}};
    for (const auto& row : table) {
        TbsSkinMessageDialog dialog(QStringLiteral("x"), row.kind, M::mbOK);
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8(row.caption)) << row.kind;
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("bsSkinMessageIcon")) != nullptr,
                  row.icon)
            << row.kind;
    }
}

TEST(SkinMessage, ShowsTheTextAsPlainText) {
    TbsSkinMessageDialog dialog(QStringLiteral("<b>  请 输 入</b>"), M::mtError, M::mbOK);
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("bsSkinMessageText"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("<b>  请 输 入</b>"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
}

// Presses a key in whatever modal box is up once the event loop runs, and
// records where the box stood.
void PressInModal(int key, QPoint* centreOffset = nullptr) {
    QTimer::singleShot(0, [key, centreOffset] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        if (centreOffset) {
            const QRect area = modal->screen()->availableGeometry();
            *centreOffset = modal->frameGeometry().center() - area.center();
        }
        QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
        QTest::keyClick(target, Qt::Key(key));
    });
}

TEST(SkinMessage, RealDialogAnswersEnterAndEscape) {
    M box;
    const struct {
        int buttons;
        int key;
        int expected;
    } table[] = {
        {M::mbOK, Qt::Key_Return, 1},
        {M::mbOK, Qt::Key_Escape, 1},
        {M::mbYes | M::mbNo, Qt::Key_Return, 6},
        {M::mbYes | M::mbNo, Qt::Key_Escape, 7},
        {M::mbOK | M::mbCancel, Qt::Key_Escape, 2},
    };
    for (const auto& row : table) {
        QPoint offset(99, 99);
        PressInModal(row.key, &offset);
        EXPECT_EQ(box.ShowSkinMessage(QStringLiteral("  测 试"), M::mtInformation, row.buttons),
                  row.expected)
            << row.buttons << " key " << row.key;
        EXPECT_LE(qAbs(offset.x()), 1);
        EXPECT_LE(qAbs(offset.y()), 1);
    }
}

TEST(SkinMessage, EscapeWithoutAnEscapeButtonKeepsTheBoxUp) {
    M box;
    // Escape first (ignored), then Enter on the default Yes.
    QTimer::singleShot(0, [] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        QTest::keyClick(modal->focusWidget(), Qt::Key_Escape);
        EXPECT_EQ(QApplication::activeModalWidget(), modal);
        QTest::keyClick(modal->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(box.ShowSkinMessage(QStringLiteral("x"), M::mtConfirmation, M::mbYes), 6);
}

TEST(SkinMessage, HelpLeavesTheBoxUp) {
    M box;
    QTimer::singleShot(0, [] {
        auto* modal = qobject_cast<TbsSkinMessageDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(modal, nullptr);
        QPushButton* help = nullptr;
        for (QPushButton* b : modal->findChildren<QPushButton*>())
            if (b->text() == QStringLiteral("帮助"))
                help = b;
        ASSERT_NE(help, nullptr);
        help->click();
        EXPECT_TRUE(modal->isVisible());
        modal->ButtonFor(M::mrOk)->click();
    });
    EXPECT_EQ(box.ShowSkinMessage(QStringLiteral("x"), M::mtWarning, M::mbOK | M::mbHelp), 1);
}

} // namespace
