#include "toolkit/UnicodeMemo.h"

#include "base/TextHelpers.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>

namespace {

// The box turns line and paragraph separators into line breaks too, and
// every line break is sent as CR LF.
int CrlfCost(QChar c) {
    return (c == QChar::LineFeed || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
               ? 2
               : 1;
}

// Length as the text is sent.
int CrlfLength(const QString& text) {
    int n = 0;
    for (QChar c : text)
        n += CrlfCost(c);
    return n;
}

// The longest front part of text whose CR LF length fits room, never ending
// between the halves of a surrogate pair.
QString FitInto(const QString& text, int room) {
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        const int cost = CrlfCost(c);
        const qsizetype step = (c.isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        if (used + cost * int(step) > room)
            break;
        used += cost * int(step);
        i += step;
    }
    return text.left(i);
}

// How far before the limit a line end may lie and still be the cut.
constexpr qsizetype kLineEndReach = TUnicodeMemo::kAnswerLimit / 16;

QString CutToAnswerLimit(const QString& text) {
    constexpr qsizetype limit = TUnicodeMemo::kAnswerLimit;
    if (text.size() <= limit)
        return text;
    const qsizetype lineEnd =
        QStringView(text).sliced(limit - kLineEndReach, kLineEndReach).lastIndexOf(u'\n');
    if (lineEnd >= 0)
        return text.left(limit - kLineEndReach + lineEnd + 1);
    return text.left(text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit);
}

// Word wrap lays out a run with no place to break in time that grows with the
// square of its length (a million units took 50 s); a line break after every
// kLongestRun units of such a run keeps it quick and loses nothing.
constexpr qsizetype kLongestRun = 16384;

QString BreakLongRuns(QString text) {
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        run = c.isSpace() ? 0 : run + 1;
        if (run >= kLongestRun && !c.isHighSurrogate() && i + 1 < text.size() &&
            !text.at(i + 1).isSpace()) {
            text.insert(++i, QLatin1Char('\n'));
            run = 0;
        }
    }
    return text;
}

bool InsertsText(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return true;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

} // namespace

TUnicodeMemo::TUnicodeMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
}

QString TUnicodeMemo::TextCRLF() const {
    return JoinCrLf(toPlainText());
}

void TUnicodeMemo::SetAnswerText(const QString& text) {
    setPlainText(BreakLongRuns(CutToAnswerLimit(text)));
}

int TUnicodeMemo::Room(int selected) const {
    const int length = CrlfLength(toPlainText());
    return maxLength_ - (length - selected);
}

void TUnicodeMemo::keyPressEvent(QKeyEvent* event) {
    int key = event->key();
    if (OnKeyDown) {
        OnKeyDown(this, key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    const QString text = event->text();
    if (OnKeyPress && !text.isEmpty()) {
        QChar ch = text.at(0);
        OnKeyPress(this, ch);
        if (ch.isNull()) {
            event->accept();
            return;
        }
    }
    if (maxLength_ > 0 && !isReadOnly() && InsertsText(event)) {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const int adding = enter ? 2 : CrlfLength(text);
        if (adding > Room(CrlfLength(textCursor().selectedText()))) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TUnicodeMemo::inputMethodEvent(QInputMethodEvent* event) {
    // QPlainTextEdit would still insert a committed string into a read-only box.
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    if (maxLength_ > 0 && !isReadOnly() && !event->commitString().isEmpty()) {
        const int room = Room(CrlfLength(textCursor().selectedText()));
        const QString fitted = FitInto(event->commitString(), qMax(0, room));
        if (fitted.size() != event->commitString().size()) {
            QInputMethodEvent cut(event->preeditString(), event->attributes());
            cut.setCommitString(fitted, event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&cut);
            event->accept();
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void TUnicodeMemo::insertFromMimeData(const QMimeData* source) {
    if (maxLength_ <= 0 || isReadOnly() || !source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString text = source->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const int room = Room(CrlfLength(textCursor().selectedText()));
    const QString fitted = FitInto(text, qMax(0, room));
    if (fitted.isEmpty() && !text.isEmpty()) {
        QApplication::beep();
        return;
    }
    textCursor().insertText(fitted);
    ensureCursorVisible();
}

void TUnicodeMemo::PasteText(const QString& text) {
    selectAll();
    QMimeData data;
    data.setText(text);
    insertFromMimeData(&data);
}
