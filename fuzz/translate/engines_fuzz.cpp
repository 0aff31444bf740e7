// Feeds any bytes to the engines' answer readers, the token's expiry, the
// Retry-After reader and the shared rests file, and checks what they give.
#include "translate/engines/BingEngine.h"
#include "translate/engines/EngineRest.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/LlmEngine.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr qint64 kNow = 1'700'000'000'000;

void Check(bool ok) {
    if (!ok)
        std::abort();
}

// Lines for the window: CR LF after each, and no other line break.
void CheckLines(const std::optional<QString>& lines) {
    if (!lines)
        return;
    Check(lines->endsWith(QLatin1String("\r\n")));
    for (qsizetype i = 0; i < lines->size(); ++i) {
        if (lines->at(i) == u'\r')
            Check(i + 1 < lines->size() && lines->at(i + 1) == u'\n');
        if (lines->at(i) == u'\n')
            Check(i > 0 && lines->at(i - 1) == u'\r');
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static BingEngine bing(QStringLiteral("http://a/"), QStringLiteral("http://t/"));
    static const LibreTranslateEngine libre(QStringLiteral("http://l/"), {});
    static const LlmEngine llm(QStringLiteral("http://m/v1"), QStringLiteral("m"), {});

    CheckLines(bing.Parse(bytes));
    CheckLines(libre.Parse(bytes));
    CheckLines(llm.Parse(bytes));

    // A token taken goes into a header line: never a break, a blank or a control.
    if (bing.TakeToken(bytes, kNow / 1000)) {
        const QString header = bing.Request("en", "de", u"x").headers.at(0);
        for (QChar c : header.sliced(sizeof("Authorization: Bearer ") - 1))
            Check(c.unicode() > 0x20 && c.unicode() < 0x7F);
        Check(!bing.NeedsToken(kNow / 1000 - kTokenMarginSecs - 1) ||
              JwtExpiry(bytes.trimmed()).has_value());
    }
    if (const std::optional<qint64> expiry = JwtExpiry(bytes))
        Check(*expiry > 0);

    const int retry = RetryAfterSeconds(QString::fromLatin1(bytes), kNow);
    Check(retry >= -1);

    const RestMap rests = ReadRests(bytes, kNow);
    for (const EngineRest& rest : rests) {
        Check(rest.strikes >= 1);
        Check(rest.untilMs <= kNow + kDownLongestRestMs);
    }
    const RestMap again = ReadRests(WriteRests(rests), kNow);
    Check(again.keys() == rests.keys());
    for (const QString& name : rests.keys())
        Check(again[name].untilMs == rests[name].untilMs &&
              again[name].strikes == rests[name].strikes &&
              again[name].reason == rests[name].reason);
    return 0;
}
