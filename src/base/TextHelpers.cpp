#include "base/TextHelpers.h"

QByteArray PercentEncode(QByteArrayView bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out(bytes.size() * 3, Qt::Uninitialized);
    char* w = out.data();
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            *w++ = c;
        } else {
            *w++ = '%';
            *w++ = kHex[b >> 4];
            *w++ = kHex[b & 0x0F];
        }
    }
    out.truncate(w - out.data());
    return out;
}

QList<QByteArray> SplitText(QByteArrayView text, QByteArrayView delimiter) {
    QList<QByteArray> pieces;
    // An empty delimiter occurs nowhere; the text stays whole (and the scan
    // below could not advance).
    if (delimiter.isEmpty()) {
        pieces.append(text.toByteArray());
        return pieces;
    }
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = text.indexOf(delimiter, start);
        if (at < 0)
            break;
        if (at > start)
            pieces.append(text.sliced(start, at - start).toByteArray());
        start = at + delimiter.size();
    }
    pieces.append(text.sliced(start).toByteArray());
    return pieces;
}

namespace {

// Both kinds of text split alike; `take` makes a line of its piece.
template <class List, class View, class Take> List SplitLinesOf(View text, Take take) {
    List lines;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = text.indexOf('\n', start);
        View line = text.sliced(start, (at < 0 ? text.size() : at) - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(take(line));
        if (at < 0)
            return lines;
        start = at + 1;
    }
}

} // namespace

QStringList SplitLines(QStringView text) {
    return SplitLinesOf<QStringList>(text, [](QStringView line) { return line.toString(); });
}

QList<QByteArray> SplitLines(QByteArrayView text) {
    return SplitLinesOf<QList<QByteArray>>(text,
                                           [](QByteArrayView line) { return line.toByteArray(); });
}

QString JoinCrLf(QStringView text) {
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += u"\r\n";
        } else if (c == u'\n') {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}
