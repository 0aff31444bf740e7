#include "translate/engines/LlmEngine.h"

#include "http/auHTTP.h"
#include "translate/engines/LibreTranslateEngine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct NameRow {
    const char* catalogue;
    const char* name;
};
constexpr NameRow kNames[] = {
    {"auto", "auto"},
    {"zh-CN", "Simplified Chinese"},
    {"zh-TW", "Traditional Chinese"},
    {"en", "English"},
    {"de", "German"},
    {"ru", "Russian"},
    {"fr", "French"},
    {"ko", "Korean"},
    {"ja", "Japanese"},
    {"sq", "Albanian"},
    {"ar", "Arabic"},
    {"az", "Azerbaijani"},
    {"ga", "Irish"},
    {"et", "Estonian"},
    {"eu", "Basque"},
    {"be", "Belarusian"},
    {"bg", "Bulgarian"},
    {"Is", "Icelandic"},
    {"pl", "Polish"},
    {"fa", "Persian"},
    {"af", "Afrikaans"},
    {"da", "Danish"},
    {"tl", "Filipino"},
    {"fi", "Finnish"},
    {"ka", "Georgian"},
    {"gu", "Gujarati"},
    {"ht", "Haitian Creole"},
    {"nl", "Dutch"},
    {"gl", "Galician"},
    {"ca", "Catalan"},
    {"cs", "Czech"},
    {"kn", "Kannada"},
    {"hr", "Croatian"},
    {"la", "Latin"},
    {"lv", "Latvian"},
    {"lo", "Lao"},
    {"lt", "Lithuanian"},
    {"ro", "Romanian"},
    {"mt", "Maltese"},
    {"ms", "Malay"},
    {"mk", "Macedonian"},
    {"bn", "Bengali"},
    {"no", "Norwegian"},
    {"pt", "Portuguese"},
    {"sv", "Swedish"},
    {"sr", "Serbian"},
    {"eo", "Esperanto"},
    {"sk", "Slovak"},
    {"sl", "Slovenian"},
    {"sw", "Swahili"},
    {"te", "Telugu"},
    {"ta", "Tamil"},
    {"th", "Thai"},
    {"tr", "Turkish"},
    {"cy", "Welsh"},
    {"ur", "Urdu"},
    {"uk", "Ukrainian"},
    {"iw", "Hebrew"},
    {"el", "Greek"},
    {"es", "Spanish"},
    {"hu", "Hungarian"},
    {"hy", "Armenian"},
    {"it", "Italian"},
    {"yi", "Yiddish"},
    {"hi", "Hindi"},
    {"id", "Indonesian"},
    {"vi", "Vietnamese"},
};

QStringView WithoutThinking(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (!trimmed.startsWith(u"<think>"))
        return text;
    const qsizetype end = trimmed.indexOf(u"</think>");
    if (end < 0)
        return text;
    QStringView rest = trimmed.sliced(end + 8);
    while (!rest.isEmpty() && (rest.front() == u'\r' || rest.front() == u'\n'))
        rest = rest.sliced(1);
    return rest;
}

} // namespace

LlmEngine::LlmEngine(QString baseUrl, QString model, QString key)
    : url_(JoinUrl(baseUrl, u"chat/completions")), model_(std::move(model)), key_(std::move(key)) {}

QString LlmEngine::Name() const {
    return QStringLiteral("llm");
}

QString LlmEngine::Label() const {
    return model_;
}

std::optional<QString> LlmEngine::Code(QStringView catalogueCode) const {
    for (const NameRow& row : kNames)
        if (catalogueCode == QLatin1String(row.catalogue))
            return QString::fromLatin1(row.name);
    return std::nullopt;
}

QString LlmEngine::Instruction(const QString& source, const QString& target) {
    const QString from = source == QLatin1String("auto")
                             ? QStringLiteral("from the language it is written in")
                             : QStringLiteral("from ") + source;
    return QStringLiteral("You are a translation engine. Translate the user's text %1 into %2. "
                          "Reply with the translation only, without notes, explanations or "
                          "quotation marks, and keep every line break where it is.")
        .arg(from, target);
}

EngineRequest LlmEngine::Request(const QString& source, const QString& target,
                                 QStringView text) const {
    const QJsonArray messages{
        QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                    {QStringLiteral("content"), Instruction(source, target)}},
        QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                    {QStringLiteral("content"), JoinLf(text)}},
    };
    const QJsonObject body{{QStringLiteral("model"), model_},
                           {QStringLiteral("temperature"), 0},
                           {QStringLiteral("messages"), messages}};
    QStringList headers{QStringLiteral("Content-Type: application/json")};
    if (!key_.isEmpty())
        headers << QStringLiteral("Authorization: Bearer ") + key_;
    return {url_, TauHTTP::DefaultAgent(), headers,
            QJsonDocument(body).toJson(QJsonDocument::Compact)};
}

std::optional<QString> LlmEngine::Parse(QByteArrayView answer) const {
    if (answer.size() > kMaxJsonAnswer)
        return std::nullopt;
    const QJsonValue content = QJsonDocument::fromJson(answer.toByteArray())
                                   .object()
                                   .value(QLatin1String("choices"))
                                   .toArray()
                                   .at(0)
                                   .toObject()
                                   .value(QLatin1String("message"))
                                   .toObject()
                                   .value(QLatin1String("content"));
    if (!content.isString())
        return std::nullopt;
    QString lines = LinesWithCrLf(WithoutThinking(content.toString()));
    if (lines.isEmpty())
        return std::nullopt;
    return lines;
}
