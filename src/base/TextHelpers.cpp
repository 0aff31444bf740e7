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
