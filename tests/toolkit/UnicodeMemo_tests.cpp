#include "toolkit/UnicodeMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void Commit(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

// Pastes through the same path as Ctrl+V and drops.
class PasteMemo : public TUnicodeMemo {
public:
    void Paste(const QString& text) {
        QMimeData data;
        data.setText(text);
        insertFromMimeData(&data);
    }
};

TEST(UnicodeMemo, TypingStopsAtTheLimit) {
    TUnicodeMemo memo;
    memo.SetMaxLength(10);
    QTest::keyClicks(&memo, QStringLiteral("abcdefghijkl"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("abcdefghij"));
    // Replacing a selection needs no extra room.
    memo.selectAll();
    QTest::keyClicks(&memo, QStringLiteral("x"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("x"));
}

TEST(UnicodeMemo, ChineseInputIsCutToTheRoomLeft) {
    TUnicodeMemo memo;
    memo.SetMaxLength(5);
    Commit(&memo, QStringLiteral("你好"));
    Commit(&memo, QStringLiteral("世界和平"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("你好世界和"));
    Commit(&memo, QStringLiteral("多"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("你好世界和"));
}

TEST(UnicodeMemo, PasteIsCutAndNeverSplitsACharacter) {
    const QString face = QString::fromUcs4(U"\U0001F600");
    const struct {
        QString before;
        QString pasted;
        int limit;
        QString after;
    } table[] = {
        {"", "0123456789", 4, "0123"},
        {"ab", "cdef", 4, "abcd"},
        {"abcd", "e", 4, "abcd"},
        // A line break counts as CR LF.
        {"", "ab\r\ncd", 4, "ab\n"},
        {"", "ab\ncd", 5, "ab\nc"},
        {"", "a" + face + "b", 2, "a"},
        {"", "a" + face + "b", 3, "a" + face},
        // Line and paragraph separators become line breaks in the box.
        {"", QStringLiteral("ab\u2028cd"), 4, "ab\n"},
        {"", QStringLiteral("ab\u2029cd"), 5, "ab\nc"},
        {"", QString(1500, QChar::LineSeparator), 2000, QString(1000, QLatin1Char('\n'))},
        {"", QString(1500, QChar::ParagraphSeparator), 2000, QString(1000, QLatin1Char('\n'))},
    };
    for (const auto& row : table) {
        PasteMemo memo;
        memo.SetMaxLength(row.limit);
        memo.setPlainText(row.before);
        memo.moveCursor(QTextCursor::End);
        memo.Paste(row.pasted);
        EXPECT_EQ(memo.toPlainText(), row.after) << row.pasted.toStdString();
    }
}

TEST(UnicodeMemo, EnterCountsAsTwoCharacters) {
    TUnicodeMemo memo;
    memo.SetMaxLength(3);
    QTest::keyClicks(&memo, QStringLiteral("ab"));
    QTest::keyClick(&memo, Qt::Key_Return);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("ab"));
    memo.SetMaxLength(4);
    QTest::keyClick(&memo, Qt::Key_Return);
    EXPECT_EQ(memo.TextCRLF(), QStringLiteral("ab\r\n"));
}

TEST(UnicodeMemo, TextCrLfSeparatesEveryLineByOneCrLf) {
    // Whatever break the program's text came with, the box's lines go out
    // separated by exactly one CR LF.
    struct Case {
        const char* set;
        const char* sent;
    } const cases[] = {
        {"a\nb", "a\r\nb"}, {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\rb", "a\r\nb"}, {"a\r\rb", "a\r\n\r\nb"},
        {"\n", "\r\n"},
    };
    for (const auto& c : cases) {
        TUnicodeMemo memo;
        memo.setPlainText(QString::fromLatin1(c.set));
        EXPECT_EQ(memo.TextCRLF(), QString::fromLatin1(c.sent)) << c.set;
    }
}

TEST(UnicodeMemo, TextSetByTheProgramIsNotLimited) {
    TUnicodeMemo memo;
    memo.SetMaxLength(2000);
    const QString long_(5000, QLatin1Char('x'));
    memo.setPlainText(long_);
    EXPECT_EQ(memo.toPlainText().size(), 5000);
    // ... but the user cannot add to it.
    memo.moveCursor(QTextCursor::End);
    QTest::keyClicks(&memo, QStringLiteral("y"));
    EXPECT_EQ(memo.toPlainText().size(), 5000);
    // Deleting still works.
    QTest::keyClick(&memo, Qt::Key_Backspace);
    EXPECT_EQ(memo.toPlainText().size(), 4999);
}

TEST(UnicodeMemo, AnswerRunsWithoutBlanksAreBrokenButKeptWhole) {
    // A character outside the BMP stands where a break would fall.
    const QString run = QString(16383, 'x') + QStringLiteral("😀") + QString(40000, 'y');
    TUnicodeMemo memo;
    memo.SetAnswerText(run + QStringLiteral(" short words stay\n"));
    const QString shown = memo.toPlainText();
    const QStringList lines = shown.split('\n');
    for (const QString& line : lines)
        EXPECT_LE(line.size(), 16385);
    EXPECT_GT(lines.size(), 3);
    EXPECT_EQ(QString(shown).remove('\n'), run + QStringLiteral(" short words stay"));
    EXPECT_TRUE(shown.contains(QStringLiteral("😀")));
}

TEST(UnicodeMemo, KeyEventsCanSwallowTheKey) {
    TUnicodeMemo memo;
    QList<int> downs;
    QString presses;
    memo.OnKeyDown = [&](QObject* sender, int& key, Qt::KeyboardModifiers shift) {
        EXPECT_EQ(sender, &memo);
        downs.append(key);
        if (key == Qt::Key_Z || (key == Qt::Key_Return && (shift & Qt::ControlModifier)))
            key = 0;
    };
    memo.OnKeyPress = [&](QObject*, QChar& key) {
        presses.append(key);
        if (key == QLatin1Char('q'))
            key = QChar(0);
    };
    QTest::keyClicks(&memo, QStringLiteral("azqb"));
    QTest::keyClick(&memo, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&memo, Qt::Key_Return);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("ab\n"));
    // Ctrl itself is a key-down too, as on the original platform.
    EXPECT_EQ(downs, (QList<int>{Qt::Key_A, Qt::Key_Z, Qt::Key_Q, Qt::Key_B, Qt::Key_Control,
                                 Qt::Key_Return, Qt::Key_Return}));
    // Key-press sees only what key-down let through; Enter arrives as CR.
    EXPECT_EQ(presses, QStringLiteral("aqb\r"));
}

TEST(UnicodeMemo, ReadOnlyBoxIgnoresInput) {
    PasteMemo memo;
    memo.SetMaxLength(2000);
    memo.setReadOnly(true);
    memo.setPlainText(QStringLiteral("译文"));
    QTest::keyClicks(&memo, QStringLiteral("abc"));
    Commit(&memo, QStringLiteral("你"));
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("译文"));
}

} // namespace
