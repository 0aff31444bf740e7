#include "http/auHeaders.h"

#include <cstring>

namespace {

// A header value that fits a 4096-byte query buffer with its terminating zero.
constexpr qsizetype kHeaderValueLimit = 4095;

QByteArray EscapeTarget(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

bool BreaksHeader(const QString& text) {
    for (QChar c : text)
        if (c == '\r' || c == '\n' || c == QChar(0))
            return true;
    return false;
}

bool HasHeader(const QStringList& lines, const char* name) {
    const QString prefix = QString::fromLatin1(name) + ':';
    for (const QString& line : lines)
        if (line.trimmed().startsWith(prefix, Qt::CaseInsensitive))
            return true;
    return false;
}

bool NameIs(const QByteArray& line, QByteArrayView name) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           QByteArrayView(line).first(name.size()).compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

QByteArray BuildTarget(const RawUrlParts& raw, bool secure) {
    QByteArray target = secure ? "https://" : "http://";
    target +=
        raw.hostName.contains(':') ? '[' + raw.hostName.toUtf8() + ']' : raw.hostName.toUtf8();
    target += ':' + QByteArray::number(raw.port ? raw.port : (secure ? 443 : 80));
    target += raw.urlPath.isEmpty() ? QByteArray("/") : EscapeTarget(raw.urlPath);
    target += EscapeTarget(raw.extraInfo);
    return target;
}

bool UsesPost(const TransferRequest& request) {
    switch (request.method) {
    case rmGET:
        return false;
    case rmPOST:
        return true;
    case rmAutoDetect:
        break;
    }
    return !request.postData.isEmpty() || request.uploadMode;
}

bool ValidHeaderLine(const QString& line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || BreaksHeader(line))
        return false;
    for (qsizetype i = 0; i < colon; ++i)
        if (line[i].unicode() <= ' ' || line[i].unicode() >= 0x7F)
            return false;
    return true;
}

std::optional<QList<QByteArray>> BuildHeaderLines(const TransferRequest& r) {
    // The agent and the referrer go out as header lines of libcurl's making.
    if (BreaksHeader(r.agent) || BreaksHeader(r.referer) || BreaksHeader(r.acceptTypes))
        return std::nullopt;
    QList<QByteArray> lines;
    if (!r.acceptTypes.isEmpty())
        lines << ("Accept: " + r.acceptTypes).toUtf8();
    for (const QString& line : r.addHeaders) {
        if (line.trimmed().isEmpty())
            continue;
        if (!ValidHeaderLine(line))
            return std::nullopt; // refused like a malformed block: nothing is sent
        lines << line.toUtf8();
    }
    if (r.range.StartRange != 0 || r.range.EndRange != 0) {
        QByteArray range = "RANGE: bytes=" + QByteArray::number(r.range.StartRange) + '-';
        if (r.range.EndRange != 0)
            range += QByteArray::number(r.range.EndRange);
        lines << range;
    }
    if (!r.useCache)
        lines << "Pragma: no-cache"
              << "Cache-Control: no-cache";
    // libcurl would add these on its own; the request carries only ours.
    if (!HasHeader(r.addHeaders, "Expect"))
        lines << "Expect:";
    if (UsesPost(r) && !HasHeader(r.addHeaders, "Content-Type"))
        lines << (r.uploadMode ? QByteArray("Content-Type:")
                               : QByteArray("Content-Type: application/x-www-form-urlencoded"));
    return lines;
}

int ContentLengthValue(const QByteArray& text) {
    const QByteArray t = text.trimmed();
    if (t.isEmpty() || t.size() > 10)
        return 0;
    qint64 value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value > 2147483647 ? 0 : static_cast<int>(value);
}

QByteArray RealmOf(const QByteArray& value) {
    const qsizetype at = value.indexOf("=\"");
    if (at < 0)
        return value;
    return value.mid(at + 2, value.size() - (at + 2) - 1);
}

bool HeaderBlock::Value(QByteArrayView name, QByteArray& value) const {
    for (const QByteArray& line : lines) {
        if (!NameIs(line, name))
            continue;
        QByteArray v = line.mid(name.size() + 1).trimmed();
        if (v.size() > kHeaderValueLimit)
            return false;
        const qsizetype zero = v.indexOf('\0');
        if (zero >= 0)
            v.truncate(zero);
        value = v;
        return true;
    }
    return false;
}

bool HeaderBlock::Has(QByteArrayView name) const {
    for (const QByteArray& line : lines)
        if (NameIs(line, name))
            return true;
    return false;
}

bool HeaderBlock::TransferCoded() const {
    for (const QByteArray& line : lines) {
        if (!NameIs(line, "Transfer-Encoding"))
            continue;
        const QByteArray coding = line.mid(18).trimmed();
        if (!coding.isEmpty() && coding.compare("identity", Qt::CaseInsensitive) != 0)
            return true;
    }
    return false;
}

QByteArray HeaderBlock::Raw() const {
    QByteArray raw = statusLine + "\r\n";
    for (const QByteArray& line : lines)
        raw += line + "\r\n";
    raw += "\r\n";
    return raw;
}

int StatusOfLine(const QByteArray& line) {
    if (!line.startsWith("HTTP/"))
        return -1;
    const QList<QByteArray> parts = line.split(' ');
    bool ok = false;
    const int code = parts.size() > 1 ? parts[1].toInt(&ok) : 0;
    return ok ? code : 0;
}

BlockKind ClassifyBlock(int status, bool proxyAnswer, bool hasLocation) {
    if (status >= 100 && status < 200)
        return BlockKind::Interim;
    if (proxyAnswer)
        return status >= 200 && status < 300 ? BlockKind::Tunnel : BlockKind::Final;
    if (status >= 300 && status < 400 && hasLocation)
        return BlockKind::Followed;
    return BlockKind::Final;
}
