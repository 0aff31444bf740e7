#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Date-times here are OLE-automation dates: days since 30 December 1899, the
// fraction being the time of day. Zone offsets are day fractions too.

// Splits a URL ("http://" is assumed when it has no "://"); %xx escapes in the
// parts come back decoded. False, with the outputs untouched, for a text that is
// no URL or whose parts exceed their limits (scheme 32, host 256, user name and
// password 128, path and extra information 2048 characters).
bool SplitUrl(const QString& url, QString& scheme, QString& hostName, uint16_t& port,
              QString& userName, QString& password, QString& urlPath, QString& extraInfo);

// The parts of a URL as written, escapes left alone (for sending it on).
struct RawUrlParts {
    QString scheme, hostName, userName, password, urlPath, extraInfo;
    uint16_t port = 0;
};
bool SplitUrlRaw(const QString& url, RawUrlParts& parts);

// The three HTTP date forms and numeric zones, as local time; 0 for an empty text.
double HttpDateToDateTime(const QString& text);
// "+hhmm" / "-hhmm" as a day fraction, positive east of Greenwich; else 0.
double ParseGmtOffset(const QString& text);
// UTC minus local time now, as a day fraction.
double LocalZoneBias();
double UtcToLocal(double utc);

// Head is the text of s before the first delim (all of s when there is none).
// With remove, s loses head and the delimiter.
void CutToken(QString& s, const QString& delim, bool remove, QString& head);
int WeekdayIndex(const QString& s); // 1..7 for SUN..SAT, else 0
int MonthIndex(const QString& s);   // 1..12 for JAN..DEC, else 0
int IndexOfText(const QString& s, const QStringList& names);

// Blanks and control characters off both ends / the left end.
QString TrimCtl(const QString& s);
QString TrimCtlLeft(const QString& s);

// Days since 30 December 1899 of a calendar date; false when it is no date.
bool EncodeOleDate(int year, int month, int day, double& result);
