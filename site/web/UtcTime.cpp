#include "siteweb/UtcTime.h"

#include <chrono>
#include <cstdio>

namespace siteweb {

namespace {

using namespace std::chrono;

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::int64_t NowMs() {
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string FormatUtc(std::int64_t ms) {
    const sys_days day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
    const year_month_day ymd(day);
    const hh_mm_ss time(floor<seconds>(milliseconds(ms) - day.time_since_epoch()));
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return text;
}

std::string FormatUtcDay(std::int64_t ms) {
    return FormatUtc(ms).substr(0, 10);
}

bool ParseUtc(std::string_view text, std::int64_t& ms) {
    if (!text.empty() && text.back() == 'Z')
        text.remove_suffix(1);
    int y, mo, d, h = 0, mi = 0, s = 0;
    if (!Digits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2, mo) ||
        text[7] != '-' || !Digits(text, 8, 2, d))
        return false;
    if (text.size() > 10) {
        if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, h) || text.size() < 16 ||
            text[13] != ':' || !Digits(text, 14, 2, mi))
            return false;
        if (text.size() > 16 && (text.size() != 19 || text[16] != ':' || !Digits(text, 17, 2, s)))
            return false;
    }
    const year_month_day ymd{year(y), month(unsigned(mo)), day(unsigned(d))};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59)
        return false;
    ms = (sys_days(ymd).time_since_epoch() + hours(h) + minutes(mi) + seconds(s)) / milliseconds(1);
    return true;
}

} // namespace siteweb
