// Feeds any text to the HTTP date parser: it must return a finite value, and
// 0 for blank text. The bytes also pick a date and a time, written in the
// three forms of HTTP, which must all parse to that moment (the zone is UTC
// here, so local time is UTC).
#include "http/auUtils.h"

#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const double parsed = HttpDateToDateTime(text);
    Check(std::isfinite(parsed));
    if (TrimCtl(text).isEmpty())
        Check(parsed == 0);
    const double offset = ParseGmtOffset(text);
    Check(std::fabs(offset) < 1);

    if (size < 6)
        return 0;
    const int year = 1980 + data[0] % 100, month = 1 + data[1] % 12, day = 1 + data[2] % 28;
    const int hour = data[3] % 24, minute = data[4] % 60, second = data[5] % 60;
    double expected = 0;
    Check(EncodeOleDate(year, month, day, expected));
    expected += (hour * 3600 + minute * 60 + second) / 86400.0;
    const int weekday =
        static_cast<int>((static_cast<int64_t>(expected) + 6) % 7); // 30 Dec 1899: Sat
    char forms[3][64];
    std::snprintf(forms[0], sizeof forms[0], "%s, %02d %s %d %02d:%02d:%02d GMT", kDays[weekday],
                  day, kMonths[month - 1], year, hour, minute, second);
    std::snprintf(forms[1], sizeof forms[1], "%s, %02d-%s-%02d %02d:%02d:%02d GMT",
                  kLongDays[weekday], day, kMonths[month - 1], year % 100, hour, minute, second);
    std::snprintf(forms[2], sizeof forms[2], "%s %s %2d %02d:%02d:%02d %d", kDays[weekday],
                  kMonths[month - 1], day, hour, minute, second, year);
    for (const char* form : forms) {
        const double got = HttpDateToDateTime(QString::fromLatin1(form));
        Check(std::fabs(got - expected) < 1e-6);
    }
    return 0;
}
