#include "ocr/OcrAnswers.h"

#include "base/TextHelpers.h"

#include <algorithm>

namespace {

constexpr QByteArrayView kWordsMarker = "\"words\":\"";
constexpr QByteArrayView kWordsEnd = "\"}";
constexpr QByteArrayView kListStart = "[\"";
constexpr QByteArrayView kListEnd = "\"]";
constexpr QByteArrayView kSeparator = "\",\"";
constexpr QByteArrayView kEscapeStart = "\\u";

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void AppendUtf8CodeUnit(QByteArray& out, unsigned unit) {
    if (unit < 0x80) {
        out.append(static_cast<char>(unit));
    } else if (unit < 0x800) {
        out.append(static_cast<char>(0xC0 | (unit >> 6)));
        out.append(static_cast<char>(0x80 | (unit & 0x3F)));
    } else {
        out.append(static_cast<char>(0xE0 | (unit >> 12)));
        out.append(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (unit & 0x3F)));
    }
}

} // namespace

QByteArray AnswerText(QByteArrayView body) {
    const qsizetype zero = body.indexOf('\0');
    if (zero >= 0)
        body = body.first(zero);
    QByteArray text;
    text.reserve(body.size() + body.size() / 16 + 2);
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r') {
            text.append("\r\n");
            if (i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            text.append("\r\n");
        } else {
            text.append(c);
        }
    }
    if (!text.endsWith("\r\n"))
        text.append("\r\n");
    return text;
}

QByteArray ExtractWordValues(QByteArrayView answer) {
    QByteArray lines;
    for (const QByteArray& piece : SplitText(answer, kWordsMarker)) {
        const qsizetype end = piece.indexOf(kWordsEnd);
        if (end >= 0)
            lines += piece.first(end) + "\r\n";
    }
    return lines;
}

QByteArray ExtractBracketedText(QByteArrayView answer) {
    const qsizetype start = answer.indexOf(kListStart);
    const qsizetype end = answer.indexOf(kListEnd);
    if (start < 0 || end < 0)
        return {};
    const qsizetype from = start + kListStart.size();
    if (end < from)
        return {};
    return answer.sliced(from, end - from).toByteArray();
}

QByteArray ExtractStringListLines(QByteArrayView answer) {
    const QByteArray bracketed = ExtractBracketedText(answer);
    if (bracketed.isEmpty())
        return {};
    QByteArray lines;
    for (const QByteArray& piece : SplitText(bracketed, kSeparator))
        lines += piece + "\r\n";
    return lines;
}

std::optional<QByteArray> DecodeUnicodeEscapes(QByteArrayView text) {
    QByteArray out;
    out.reserve(text.size());
    qsizetype from = 0;
    while (true) {
        const qsizetype escape = text.indexOf(kEscapeStart, from);
        if (escape < 0) {
            out.append(text.sliced(from));
            return out;
        }
        out.append(text.sliced(from, escape - from));
        const qsizetype digits = escape + kEscapeStart.size();
        const qsizetype count = std::min<qsizetype>(4, text.size() - digits);
        // An escape cut short by the end of the text is read with the digits
        // it has; with none at all there is no number.
        if (count <= 0)
            return std::nullopt;
        unsigned unit = 0;
        for (qsizetype i = 0; i < count; ++i) {
            const int digit = HexDigit(text[digits + i]);
            if (digit < 0)
                return std::nullopt;
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        AppendUtf8CodeUnit(out, unit);
        from = digits + count;
    }
}

QString OcrProgressText(int percentsDone) {
    return QStringLiteral("正在识别图片，请稍等... 已完成 ") + QString::number(percentsDone) +
           QLatin1Char('%');
}

QString OcrConnectErrorText() {
    return QStringLiteral("   连 接 服 务 器 错 误 ！请 稍 后 重 试 。");
}
