#include "translate/TranslateConfig.h"

#include "base/Endpoints.h"
#include "base/Preferences.h"
#include "base/PrivateFolder.h"
#include "translate/engines/BingEngine.h"
#include "translate/engines/GoogleEngine.h"
#include "translate/engines/LibreTranslateEngine.h"
#include "translate/engines/LlmEngine.h"

#include <QFile>
#include <QUrl>

namespace {

// A settings value replaced by its variable when that is set; a value of the
// other type counts as absent.
QString Value(const Preferences* prefs, const TextPreference& preference, const char* variable) {
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (!prefs)
        return {};
    try {
        return prefs->Has(preference) ? prefs->Read(preference).trimmed() : QString();
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

EngineSettings LoadEngineSettings(const Preferences* prefs, const QString& name) {
    EngineSettings engine;
    engine.name = name;
    if (name == QLatin1String("google")) {
        engine.url = EndpointUrl(Endpoint::Translate);
    } else if (name == QLatin1String("bing")) {
        engine.authUrl = EndpointUrl(Endpoint::BingAuth);
        engine.url = EndpointUrl(Endpoint::Bing);
    } else if (name == QLatin1String("libretranslate")) {
        engine.url = Value(prefs, pref::LibreTranslateUrl, "QUILLMATE_LIBRETRANSLATE_URL");
    } else if (name == QLatin1String("llm")) {
        engine.url = Value(prefs, pref::LlmUrl, "QUILLMATE_LLM_URL");
        engine.model = Value(prefs, pref::LlmModel, "QUILLMATE_LLM_MODEL");
    }
    if (const TextPreference* key = KeyPreference(name))
        engine.key = Value(prefs, *key, KeyVariable(name));
    return engine;
}

TranslateConfig LoadTranslateConfig(const Preferences* prefs) {
    QString order = Value(prefs, pref::TranslateEngines, "QUILLMATE_TRANSLATE_ENGINES");
    if (order.isEmpty())
        order = QString::fromUtf8(pref::TranslateEngines.fallback);
    TranslateConfig config;
    QStringList seen;
    for (const QString& word : order.split(u',', Qt::SkipEmptyParts)) {
        const QString name = word.trimmed().toLower();
        if (!KnownEngineNames().contains(name) || seen.contains(name))
            continue;
        seen << name;
        config.engines << LoadEngineSettings(prefs, name);
    }
    config.restsFile = RestsFilePath();
    return config;
}

TranslateConfig LoadTranslateConfig() {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    return LoadTranslateConfig(prefs.get());
}

const TextPreference* KeyPreference(const QString& engineName) {
    if (engineName == QLatin1String("libretranslate"))
        return &pref::LibreTranslateKey;
    if (engineName == QLatin1String("llm"))
        return &pref::LlmKey;
    return nullptr;
}

const char* KeyVariable(const QString& engineName) {
    if (engineName == QLatin1String("libretranslate"))
        return "QUILLMATE_LIBRETRANSLATE_KEY";
    if (engineName == QLatin1String("llm"))
        return "QUILLMATE_LLM_KEY";
    return nullptr;
}

QList<const TextPreference*> KeysToLookUp(const TranslateConfig& config) {
    QList<const TextPreference*> keys;
    for (const EngineSettings& engine : config.engines)
        if (const TextPreference* key = KeyPreference(engine.name);
            key && engine.Configured() && engine.key.isEmpty())
            keys << key;
    return keys;
}

void SetKey(TranslateConfig& config, const TextPreference& preference, const QString& key) {
    for (EngineSettings& engine : config.engines)
        if (KeyPreference(engine.name) == &preference)
            engine.key = key;
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
