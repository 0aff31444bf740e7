#include "http/auUtils.h"

#include <QDate>
#include <QUrl>
#include <ctime>

namespace {

bool IsCtl(QChar c) {
    return c.unicode() <= ' ';
}

// Decimal number with an optional sign; false for anything else.
bool ToInt(const QString& s, int& value) {
    if (s.isEmpty() || s.size() > 11)
        return false;
    bool ok = false;
    const int v = s.toInt(&ok, 10);
    if (!ok)
        return false;
    value = v;
    return true;
}

int ToIntDef(const QString& s, int fallback) {
    int v = fallback;
    return ToInt(s, v) ? v : fallback;
}

QString Decode(const QString& s) {
    return QUrl::fromPercentEncoding(s.toUtf8());
}

bool ValidScheme(const QString& s) {
    if (s.isEmpty())
        return false;
    for (QChar c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!ok)
            return false;
    }
    return true;
}

const QStringList& WeekdayNames() {
    static const QStringList names{"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    return names;
}

const QStringList& MonthNames() {
    static const QStringList names{"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    return names;
}

QString UpperAscii(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= 'a' && c <= 'z')
            c = QChar(c.unicode() - 32);
    return out;
}

} // namespace

QString TrimCtl(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsCtl(s[b]))
        ++b;
    while (e > b && IsCtl(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

QString TrimCtlLeft(const QString& s) {
    qsizetype b = 0;
    while (b < s.size() && IsCtl(s[b]))
        ++b;
    return s.mid(b);
}

bool SplitUrlRaw(const QString& url, RawUrlParts& parts) {
    QString text = url;
    if (!text.contains(QLatin1String("://")))
        text.prepend(QLatin1String("http://"));
    const qsizetype sep = text.indexOf(QLatin1String("://"));
    RawUrlParts p;
    p.scheme = text.left(sep);
    if (!ValidScheme(p.scheme) || p.scheme.size() > 32)
        return false;
    const QString rest = text.mid(sep + 3);
    qsizetype authEnd = rest.size();
    for (QChar stop : {QChar('/'), QChar('?'), QChar('#')}) {
        const qsizetype at = rest.indexOf(stop);
        if (at >= 0 && at < authEnd)
            authEnd = at;
    }
    QString authority = rest.left(authEnd);
    const QString tail = rest.mid(authEnd);
    qsizetype extraAt = -1;
    for (QChar stop : {QChar('?'), QChar('#')}) {
        const qsizetype at = tail.indexOf(stop);
        if (at >= 0 && (extraAt < 0 || at < extraAt))
            extraAt = at;
    }
    p.urlPath = extraAt < 0 ? tail : tail.left(extraAt);
    p.extraInfo = extraAt < 0 ? QString() : tail.mid(extraAt);

    const qsizetype at = authority.lastIndexOf('@');
    if (at >= 0) {
        const QString user = authority.left(at);
        authority = authority.mid(at + 1);
        const qsizetype colon = user.indexOf(':');
        p.userName = colon < 0 ? user : user.left(colon);
        p.password = colon < 0 ? QString() : user.mid(colon + 1);
    }
    QString portText;
    if (authority.startsWith('[')) {
        const qsizetype close = authority.indexOf(']');
        if (close < 0)
            return false;
        p.hostName = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(':'))
            return false;
        portText = after.mid(1);
        if (after.startsWith(':') && portText.isEmpty())
            return false;
    } else {
        const qsizetype colon = authority.lastIndexOf(':');
        p.hostName = colon < 0 ? authority : authority.left(colon);
        if (colon >= 0) {
            portText = authority.mid(colon + 1);
            if (portText.isEmpty())
                return false;
        }
    }
    const QString lowerScheme = p.scheme.toLower();
    if (!portText.isEmpty()) {
        for (QChar c : portText)
            if (c < '0' || c > '9')
                return false;
        const int port = portText.size() > 5 ? 70000 : portText.toInt();
        if (port > 65535)
            return false;
        p.port = static_cast<uint16_t>(port);
    } else if (lowerScheme == QLatin1String("https")) {
        p.port = 443;
    } else if (lowerScheme == QLatin1String("http")) {
        p.port = 80;
    } else if (lowerScheme == QLatin1String("ftp")) {
        p.port = 21;
    }
    if (p.hostName.isEmpty() && lowerScheme != QLatin1String("file"))
        return false;
    if (Decode(p.hostName).size() > 256 || Decode(p.userName).size() > 128 ||
        Decode(p.password).size() > 128 || Decode(p.urlPath).size() > 2048 ||
        Decode(p.extraInfo).size() > 2048)
        return false;
    parts = p;
    return true;
}

bool SplitUrl(const QString& url, QString& scheme, QString& hostName, uint16_t& port,
              QString& userName, QString& password, QString& urlPath, QString& extraInfo) {
    RawUrlParts p;
    if (!SplitUrlRaw(url, p))
        return false;
    scheme = p.scheme;
    hostName = Decode(p.hostName);
    port = p.port;
    userName = Decode(p.userName);
    password = Decode(p.password);
    urlPath = Decode(p.urlPath);
    extraInfo = Decode(p.extraInfo);
    return true;
}

void CutToken(QString& s, const QString& delim, bool remove, QString& head) {
    const qsizetype at = delim.isEmpty() ? -1 : s.indexOf(delim);
    if (at < 0) {
        head = s;
        if (remove)
            s.clear();
        return;
    }
    head = s.left(at);
    if (remove)
        s.remove(0, at + delim.size());
}

int IndexOfText(const QString& s, const QStringList& names) {
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i] == s)
            return static_cast<int>(i);
    return -1;
}

int WeekdayIndex(const QString& s) {
    return IndexOfText(UpperAscii(s), WeekdayNames()) + 1;
}

int MonthIndex(const QString& s) {
    return IndexOfText(UpperAscii(s), MonthNames()) + 1;
}

bool EncodeOleDate(int year, int month, int day, double& result) {
    if (year < 1 || year > 9999)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    static const qint64 base = QDate(1899, 12, 30).toJulianDay();
    result = static_cast<double>(date.toJulianDay() - base);
    return true;
}

double ParseGmtOffset(const QString& text) {
    const QString s = TrimCtl(text).left(5);
    if (s.isEmpty() || (s[0] != '+' && s[0] != '-'))
        return 0;
    int hours = 0, minutes = 0;
    const QString h = s.mid(1, 2), m = s.mid(3, 2);
    auto digits = [](const QString& t) {
        if (t.size() != 2)
            return false;
        return t[0].isDigit() && t[1].isDigit();
    };
    if (!digits(h) || !digits(m))
        return 0;
    hours = h.toInt();
    minutes = m.toInt();
    if (hours > 23 || minutes > 59)
        return 0;
    const double offset = hours / 24.0 + minutes / 1440.0;
    return s[0] == '-' ? -offset : offset;
}

double LocalZoneBias() {
    tzset();
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    return -static_cast<double>(local.tm_gmtoff) / 86400.0;
}

double UtcToLocal(double utc) {
    return utc - LocalZoneBias();
}

double HttpDateToDateTime(const QString& text) {
    QString s = TrimCtl(text);
    if (s.isEmpty())
        return 0;
    double result = 0;
    // Steps that can fail leave result 0 and the zone is read from what is left.
    [&] {
        QString token;
        if (WeekdayIndex(s.left(3)) != 0) {
            CutToken(s, QStringLiteral(" "), true, token);
            s = TrimCtlLeft(s);
        }
        const qsizetype dash = s.indexOf('-');
        const qsizetype blank = s.indexOf(' ');
        const QString delim =
            (dash > 0 && blank >= 0 && dash < blank) ? QStringLiteral("-") : QStringLiteral(" ");
        int day = 1, month = 0;
        auto readMonth = [&] {
            CutToken(s, delim, true, token);
            month = MonthIndex(token);
            s = TrimCtlLeft(s);
        };
        auto readDay = [&] {
            CutToken(s, delim, true, token);
            day = ToIntDef(token, 1);
            s = TrimCtlLeft(s);
        };
        CutToken(s, delim, false, token);
        if (MonthIndex(token) != 0) {
            readMonth();
            readDay();
        } else {
            readDay();
            readMonth();
        }
        CutToken(s, QStringLiteral(" "), true, token);
        int year = ToIntDef(token, 1900);
        if (year == 1900) {
            year = ToIntDef(s, 1900);
            s = token;
        }
        if (year < 80)
            year += 2000;
        else if (year >= 80 && year <= 99)
            year += 1900;
        double date = 0;
        if (!EncodeOleDate(year, month, day, date))
            return;
        result = date;
        if (s.contains(':')) {
            QString timeText, part;
            CutToken(s, QStringLiteral(" "), true, timeText);
            CutToken(timeText, QStringLiteral(":"), true, part);
            const int h = ToIntDef(part, 0);
            CutToken(timeText, QStringLiteral(":"), true, part);
            const int m = ToIntDef(part, 0);
            CutToken(timeText, QStringLiteral(" "), true, part);
            const int sec = ToIntDef(part, 0);
            if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59) {
                result = 0;
                return;
            }
            result += (h * 3600 + m * 60 + sec) / 86400.0;
        }
        s = TrimCtlLeft(s);
    }();
    const double offset = s.size() >= 5 ? ParseGmtOffset(s) : 0;
    return UtcToLocal(result - offset);
}
