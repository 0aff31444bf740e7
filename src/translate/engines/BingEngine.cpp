#include "translate/engines/BingEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The service checks that its callers look like a browser.
constexpr char kBingAgent[] = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like "
                              "Gecko) Chrome/124.0.0.0 Safari/537.36 Edg/124.0.0.0";

// Catalogue code -> the service's code; null where it has no such language.
constexpr EngineCodeRow kCodes[] = {
    {"auto", "auto"},  {"zh-CN", "zh-Hans"}, {"zh-TW", "zh-Hant"}, {"en", "en"},    {"de", "de"},
    {"ru", "ru"},      {"fr", "fr"},         {"ko", "ko"},         {"ja", "ja"},    {"sq", "sq"},
    {"ar", "ar"},      {"az", "az"},         {"ga", "ga"},         {"et", "et"},    {"eu", "eu"},
    {"be", nullptr},   {"bg", "bg"},         {"Is", "is"},         {"pl", "pl"},    {"fa", "fa"},
    {"af", "af"},      {"da", "da"},         {"tl", "fil"},        {"fi", "fi"},    {"ka", "ka"},
    {"gu", "gu"},      {"ht", "ht"},         {"nl", "nl"},         {"gl", "gl"},    {"ca", "ca"},
    {"cs", "cs"},      {"kn", "kn"},         {"hr", "hr"},         {"la", nullptr}, {"lv", "lv"},
    {"lo", "lo"},      {"lt", "lt"},         {"ro", "ro"},         {"mt", "mt"},    {"ms", "ms"},
    {"mk", "mk"},      {"bn", "bn"},         {"no", "nb"},         {"pt", "pt"},    {"sv", "sv"},
    {"sr", "sr-Cyrl"}, {"eo", nullptr},      {"sk", "sk"},         {"sl", "sl"},    {"sw", "sw"},
    {"te", "te"},      {"ta", "ta"},         {"th", "th"},         {"tr", "tr"},    {"cy", "cy"},
    {"ur", "ur"},      {"uk", "uk"},         {"iw", "he"},         {"el", "el"},    {"es", "es"},
    {"hu", "hu"},      {"hy", "hy"},         {"it", "it"},         {"yi", nullptr}, {"hi", "hi"},
    {"id", "id"},      {"vi", "vi"},
};

// Bytes a token may hold: base64url and the dots of a JWT, plus plain base64.
bool TokenByte(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == '+' || c == '/' || c == '=';
}

constexpr qsizetype kMaxTokenSize = 8192;

} // namespace

BingEngine::BingEngine(QString authUrl, QString url)
    : authUrl_(std::move(authUrl)), url_(std::move(url)) {}

QString BingEngine::Name() const {
    return QStringLiteral("bing");
}

QString BingEngine::Label() const {
    return QStringLiteral("Bing");
}

std::optional<QString> BingEngine::Code(QStringView catalogueCode) const {
    return LookUpCode(kCodes, catalogueCode);
}

EngineRequest BingEngine::Request(const QString& source, const QString& target,
                                  QStringView text) const {
    QString url = url_ + (url_.contains(u'?') ? u'&' : u'?');
    if (source != QLatin1String("auto"))
        url += QStringLiteral("from=") + source + u'&';
    url += QStringLiteral("to=") + target + QStringLiteral("&api-version=3.0");
    const QJsonArray body{QJsonObject{{QStringLiteral("Text"), JoinLf(text)}}};
    return {url,
            QString::fromLatin1(kBingAgent),
            {QStringLiteral("Authorization: Bearer ") + QString::fromLatin1(token_),
             QStringLiteral("Content-Type: application/json")},
            QJsonDocument(body).toJson(QJsonDocument::Compact)};
}

std::optional<QString> BingEngine::Parse(QByteArrayView answer) const {
    if (answer.size() > kMaxJsonAnswer)
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(answer.toByteArray());
    const QJsonValue text = doc.array()
                                .at(0)
                                .toObject()
                                .value(QLatin1String("translations"))
                                .toArray()
                                .at(0)
                                .toObject()
                                .value(QLatin1String("text"));
    if (!text.isString())
        return std::nullopt;
    QString lines = LinesWithCrLf(text.toString());
    if (lines.isEmpty())
        return std::nullopt;
    return lines;
}

bool BingEngine::UsesToken() const {
    return true;
}

bool BingEngine::NeedsToken(qint64 nowSecs) const {
    return token_.isEmpty() || nowSecs >= useUntil_;
}

EngineRequest BingEngine::TokenRequest() const {
    return {authUrl_, QString::fromLatin1(kBingAgent), {}, {}};
}

bool BingEngine::TakeToken(QByteArrayView answer, qint64 nowSecs) {
    const QByteArrayView token = answer.trimmed();
    if (token.isEmpty() || token.size() > kMaxTokenSize)
        return false;
    for (char c : token)
        if (!TokenByte(c))
            return false;
    token_ = token.toByteArray();
    const std::optional<qint64> expiry = JwtExpiry(token);
    useUntil_ = expiry ? std::min(*expiry - kTokenMarginSecs, nowSecs + kLongestTokenLifeSecs)
                       : nowSecs + kUnknownTokenLifeSecs;
    return true;
}

void BingEngine::ForgetToken() {
    token_.clear();
    useUntil_ = 0;
}

std::optional<qint64> JwtExpiry(QByteArrayView token) {
    const qsizetype first = token.indexOf('.');
    if (first < 0)
        return std::nullopt;
    const qsizetype second = token.sliced(first + 1).indexOf('.');
    if (second < 0)
        return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(
        token.sliced(first + 1, second).toByteArray(),
        QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    const QJsonValue exp = QJsonDocument::fromJson(*decoded).object().value(QLatin1String("exp"));
    // Seconds between the years 1970 and 3000: anything else is no expiry.
    if (!exp.isDouble() || !(exp.toDouble() > 0 && exp.toDouble() < 32503680000.0))
        return std::nullopt;
    return qint64(exp.toDouble());
}
