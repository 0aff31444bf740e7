#include "translate/engines/LibreTranslateEngine.h"

#include "http/auHTTP.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The languages of the open translation models an instance can install, in
// the codes every release understands ("zh"/"zt" rather than the newer
// "zh-Hans"/"zh-Hant"). An instance that lacks one answers 400 and the next
// engine takes over.
constexpr EngineCodeRow kCodes[] = {
    {"auto", "auto"}, {"zh-CN", "zh"}, {"zh-TW", "zt"}, {"en", "en"},    {"de", "de"},
    {"ru", "ru"},     {"fr", "fr"},    {"ko", "ko"},    {"ja", "ja"},    {"sq", "sq"},
    {"ar", "ar"},     {"az", "az"},    {"ga", "ga"},    {"et", "et"},    {"eu", "eu"},
    {"be", nullptr},  {"bg", "bg"},    {"Is", nullptr}, {"pl", "pl"},    {"fa", "fa"},
    {"af", nullptr},  {"da", "da"},    {"tl", "tl"},    {"fi", "fi"},    {"ka", nullptr},
    {"gu", nullptr},  {"ht", nullptr}, {"nl", "nl"},    {"gl", "gl"},    {"ca", "ca"},
    {"cs", "cs"},     {"kn", nullptr}, {"hr", nullptr}, {"la", nullptr}, {"lv", "lv"},
    {"lo", nullptr},  {"lt", "lt"},    {"ro", "ro"},    {"mt", nullptr}, {"ms", "ms"},
    {"mk", nullptr},  {"bn", "bn"},    {"no", "nb"},    {"pt", "pt"},    {"sv", "sv"},
    {"sr", "sr"},     {"eo", "eo"},    {"sk", "sk"},    {"sl", "sl"},    {"sw", nullptr},
    {"te", nullptr},  {"ta", nullptr}, {"th", "th"},    {"tr", "tr"},    {"cy", nullptr},
    {"ur", "ur"},     {"uk", "uk"},    {"iw", "he"},    {"el", "el"},    {"es", "es"},
    {"hu", "hu"},     {"hy", nullptr}, {"it", "it"},    {"yi", nullptr}, {"hi", "hi"},
    {"id", "id"},     {"vi", "vi"},
};

} // namespace

QString JoinUrl(const QString& base, QStringView segment) {
    QString url = base;
    while (url.endsWith(u'/'))
        url.chop(1);
    return url + u'/' + segment.toString();
}

LibreTranslateEngine::LibreTranslateEngine(QString baseUrl, QString key)
    : url_(JoinUrl(baseUrl, u"translate")), key_(std::move(key)) {}

QString LibreTranslateEngine::Name() const {
    return QStringLiteral("libretranslate");
}

QString LibreTranslateEngine::Label() const {
    return QStringLiteral("LibreTranslate");
}

std::optional<QString> LibreTranslateEngine::Code(QStringView catalogueCode) const {
    return LookUpCode(kCodes, catalogueCode);
}

EngineRequest LibreTranslateEngine::Request(const QString& source, const QString& target,
                                            QStringView text) const {
    QJsonObject body{{QStringLiteral("q"), JoinLf(text)},
                     {QStringLiteral("source"), source},
                     {QStringLiteral("target"), target},
                     {QStringLiteral("format"), QStringLiteral("text")}};
    if (!key_.isEmpty())
        body.insert(QStringLiteral("api_key"), key_);
    return {url_,
            TauHTTP::DefaultAgent(),
            {QStringLiteral("Content-Type: application/json")},
            QJsonDocument(body).toJson(QJsonDocument::Compact)};
}

std::optional<QString> LibreTranslateEngine::Parse(QByteArrayView answer) const {
    if (answer.size() > kMaxJsonAnswer)
        return std::nullopt;
    const QJsonValue text = QJsonDocument::fromJson(answer.toByteArray())
                                .object()
                                .value(QLatin1String("translatedText"));
    if (!text.isString())
        return std::nullopt;
    QString lines = LinesWithCrLf(text.toString());
    if (lines.isEmpty())
        return std::nullopt;
    return lines;
}
