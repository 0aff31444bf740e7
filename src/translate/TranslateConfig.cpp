#include "translate/TranslateConfig.h"

#include "base/Endpoints.h"
#include "base/PrivateFolder.h"
#include "base/Settings.h"
#include "translate/engines/BingEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/LlmEngine.h"

#include <QFile>
#include <QUrl>

namespace {

// A settings value replaced by its variable when that is set; a value of the
// other type counts as absent.
QString Value(const SettingsKey* settings, const char* name, const char* variable) {
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (!settings)
        return {};
    const QString valueName = QString::fromLatin1(name);
    try {
        return settings->ValueExists(valueName) ? settings->ReadString(valueName).trimmed()
                                                : QString();
    } catch (const ESettingsError&) {
        return {};
    }
}

} // namespace

bool EngineSettings::Configured() const {
    if (name == QLatin1String("libretranslate"))
        return !url.isEmpty();
    if (name == QLatin1String("llm"))
        return !url.isEmpty() && !model.isEmpty();
    return KnownEngineNames().contains(name);
}

QString EngineSettings::Host() const {
    const QUrl parsed(
        url.isEmpty() && name == QLatin1String("google") ? EndpointUrl(Endpoint::Translate) : url);
    if (parsed.host().isEmpty())
        return {};
    return parsed.port() < 0 ? parsed.host()
                             : parsed.host() + u':' + QString::number(parsed.port());
}

QStringList KnownEngineNames() {
    return {QStringLiteral("google"), QStringLiteral("bing"), QStringLiteral("libretranslate"),
            QStringLiteral("llm")};
}

EngineSettings LoadEngineSettings(const SettingsKey* settings, const QString& name) {
    EngineSettings engine;
    engine.name = name;
    if (name == QLatin1String("google")) {
        engine.url = EndpointUrl(Endpoint::Translate);
    } else if (name == QLatin1String("bing")) {
        engine.authUrl = EndpointUrl(Endpoint::BingAuth);
        engine.url = EndpointUrl(Endpoint::Bing);
    } else if (name == QLatin1String("libretranslate")) {
        engine.url = Value(settings, "LibreTranslateUrl", "QUILLMATE_LIBRETRANSLATE_URL");
        engine.key = Value(settings, "LibreTranslateKey", "QUILLMATE_LIBRETRANSLATE_KEY");
    } else if (name == QLatin1String("llm")) {
        engine.url = Value(settings, "LlmUrl", "QUILLMATE_LLM_URL");
        engine.model = Value(settings, "LlmModel", "QUILLMATE_LLM_MODEL");
        engine.key = Value(settings, "LlmKey", "QUILLMATE_LLM_KEY");
    }
    return engine;
}

TranslateConfig LoadTranslateConfig(const SettingsKey* settings) {
    QString order = Value(settings, "TranslateEngines", "QUILLMATE_TRANSLATE_ENGINES");
    if (order.isEmpty())
        order = QString::fromLatin1(kDefaultEngineOrder);
    TranslateConfig config;
    QStringList seen;
    for (const QString& word : order.split(u',', Qt::SkipEmptyParts)) {
        const QString name = word.trimmed().toLower();
        if (!KnownEngineNames().contains(name) || seen.contains(name))
            continue;
        seen << name;
        config.engines << LoadEngineSettings(settings, name);
    }
    config.restsFile = RestsFilePath();
    return config;
}

TranslateConfig LoadTranslateConfig() {
    const std::unique_ptr<SettingsKey> key = SettingsKey::Open();
    return LoadTranslateConfig(key.get());
}

TranslateConfig GoogleOnlyConfig() {
    EngineSettings google;
    google.name = QStringLiteral("google");
    return SingleEngineConfig(google);
}

TranslateConfig SingleEngineConfig(const EngineSettings& engine) {
    TranslateConfig config;
    config.engines << engine;
    config.single = true;
    return config;
}

QString RestsFilePath() {
    const std::string folder = PrivateRuntimeFolder();
    if (folder.empty())
        return {};
    return QFile::decodeName(folder.c_str()) + QStringLiteral("/translate-rests");
}

std::unique_ptr<TranslationEngine> MakeEngine(const EngineSettings& settings) {
    if (settings.name == QLatin1String("google"))
        return std::make_unique<GoogleEngine>(settings.url);
    if (settings.name == QLatin1String("bing"))
        return std::make_unique<BingEngine>(settings.authUrl, settings.url);
    if (settings.name == QLatin1String("libretranslate"))
        return std::make_unique<LibreTranslateEngine>(settings.url, settings.key);
    if (settings.name == QLatin1String("llm"))
        return std::make_unique<LlmEngine>(settings.url, settings.model, settings.key);
    return nullptr;
}
