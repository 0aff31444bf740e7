#include "feedback/FormEncode.h"

#include <cerrno>
#include <iconv.h>

const char* const kFeedbackProductTag = "Quillmate_8.0_Linux";

namespace {

const char kHex[] = "0123456789ABCDEF";

bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Converts one piece of UTF-16 (one character: one code unit or a pair) to GBK.
bool ConvertPiece(iconv_t cd, const char16_t* units, size_t count, QByteArray& out) {
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(units));
    size_t inLeft = count * sizeof(char16_t);
    char buffer[16];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        return false;
    }
    out.append(buffer, outPtr - buffer);
    return true;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// Only ASCII letters fold: GBK bytes of 128 and above are never letters.
bool EqualsIgnoringAsciiCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

} // namespace

void FormEncode(QByteArrayView bytes, QByteArray& result) {
    result.reserve(result.size() + bytes.size() * 3);
    for (char c : bytes) {
        if (IsAlnum(c)) {
            result.append(c);
        } else if (c == ' ') {
            result.append('+');
        } else {
            const auto b = quint8(c);
            result.append('%');
            result.append(kHex[b >> 4]);
            result.append(kHex[b & 15]);
        }
    }
}

QByteArray FormEncode(QByteArrayView bytes) {
    QByteArray result;
    FormEncode(bytes, result);
    return result;
}

QByteArray ToGbk(QStringView text) {
    QByteArray out;
    iconv_t cd = iconv_open("CP936", "UTF-16LE");
    if (cd == iconv_t(-1)) {
        // No converter: keep ASCII and mark the rest, as a failed conversion would.
        for (QChar ch : text)
            out.append(ch.unicode() < 0x80 ? char(ch.unicode()) : '?');
        return out;
    }
    const auto* units = reinterpret_cast<const char16_t*>(text.utf16());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        size_t count = 1;
        if (QChar::isHighSurrogate(units[i]) && i + 1 < n && QChar::isLowSurrogate(units[i + 1]))
            count = 2;
        if (units[i] < 0x80)
            out.append(char(units[i]));
        else if (!ConvertPiece(cd, units + i, count, out))
            out.append('?');
        i += qsizetype(count);
    }
    iconv_close(cd);
    return out;
}

QByteArray FeedbackBody(const FeedbackInput& input) {
    QString contact = input.contact;
    contact.remove(QLatin1Char(' '));
    const QByteArray email = FormEncode(ToGbk(contact));
    const QByteArray title = FormEncode(ToGbk(QStringLiteral("您好")));

    QByteArray message = ToGbk(input.message);
    message.replace(" ", "&nbsp;");
    message.replace("\r", "<br>");
    const QByteArray text = FormEncode(message);

    QByteArray when = input.now.toString("yyyy-MM-dd HH:mm").toLatin1();
    when.replace(" ", "&nbsp;");
    const QByteArray time = FormEncode(when);

    return "user=orbix&name=" + input.productTag + "&email=" + email + "&title=" + title +
           "&text=" + text + "&image=" + "on" + "&home=" + input.installationId + "&time=" + time;
}

bool HasSuccessMarker(QByteArrayView reply) {
    static const QByteArray marker("\xC1\xF4\xD1\xD4\xB3\xC9\xB9\xA6");
    qsizetype start = 0;
    while (start <= reply.size()) {
        qsizetype end = start;
        while (end < reply.size() && reply[end] != '\r' && reply[end] != '\n')
            ++end;
        if (EqualsIgnoringAsciiCase(reply.sliced(start, end - start), marker))
            return true;
        if (end >= reply.size())
            break;
        // A CR LF pair ends one line, not two.
        start = end +
                ((reply[end] == '\r' && end + 1 < reply.size() && reply[end + 1] == '\n') ? 2 : 1);
    }
    return false;
}
