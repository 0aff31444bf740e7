// Feeds any bytes to the answer parser and the splitter it is built on. The
// parser walks the answer without splitting it, so it is checked against the
// plain split-then-walk form of the same rules.
#include "base/TextHelpers.h"
#include "translate/TranslationResponse.h"

#include <cstdint>
#include <cstdlib>

namespace {

QByteArray SplitAndWalk(QByteArrayView body) {
    QByteArray result;
    for (const QByteArray& piece : SplitText(body, "[")) {
        if (piece.contains("]]"))
            break;
        const qsizetype q = piece.indexOf("\",\""); // 0-based, -1 when absent
        if (!piece.startsWith('"') || q < 0)
            continue;
        qsizetype count = q - 1;
        if (count >= 4 && piece.mid(1, count).endsWith("\\r\\n"))
            count -= 4;
        if (count > 0)
            result += piece.mid(1, count);
        result += "\r\n";
    }
    result.replace("\\r\\n", "\r\n");
    return result;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

QByteArray RemoveAll(QByteArrayView text, QByteArrayView delimiter) {
    QByteArray out;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = text.indexOf(delimiter, from);
        if (at < 0)
            break;
        out += text.sliced(from, at - from);
        from = at + delimiter.size();
    }
    out += text.sliced(from);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    Check(ParseTranslationResponse(bytes) == SplitAndWalk(bytes));

    const QByteArray lines = StringListText(bytes);
    Check(!lines.contains('\0'));
    Check(lines.isEmpty() || lines.endsWith("\r\n"));
    Check(ParseTranslationResponse(lines) == SplitAndWalk(lines));

    // First byte: delimiter length 0..3, taken from the bytes that follow.
    if (size >= 1) {
        const qsizetype length = data[0] % 4;
        if (size >= size_t(1 + length)) {
            const QByteArrayView delimiter = bytes.sliced(1, length);
            const QByteArrayView text = bytes.sliced(1 + length);
            const QList<QByteArray> pieces = SplitText(text, delimiter);
            Check(!pieces.isEmpty());
            if (!delimiter.isEmpty()) {
                QByteArray joined;
                for (qsizetype i = 0; i < pieces.size(); ++i) {
                    Check(i + 1 == pieces.size() || !pieces[i].isEmpty());
                    Check(!pieces[i].contains(delimiter));
                    joined += pieces[i];
                }
                Check(joined == RemoveAll(text, delimiter));
            }
        }
    }
    return 0;
}
