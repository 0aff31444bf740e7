#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class Preferences;
class TranslationEngine;
struct TextPreference;

// One engine of the translation chain.
struct EngineSettings {
    QString name;    // "google", "bing", "libretranslate" or "llm"
    QString url;     // google: the form's address (empty: the endpoint table's,
                     // read at each request); bing: the translate address;
                     // libretranslate, llm: the base address
    QString authUrl; // bing: the token's address
    QString model;   // llm
    QString key;     // libretranslate, llm: optional

    // libretranslate needs its address, llm its address and model.
    bool Configured() const;
    // Host (and port, when given) of the address, for listing the engines.
    QString Host() const;
};

struct TranslateConfig {
    QList<EngineSettings> engines; // in the order tried, configured or not
    // Where every process keeps the engines' rests; empty: this service only.
    QString restsFile;
    // One engine alone: no fallback, no rests, the component's own limits.
    bool single = false;
};

// The engines there are, in the order of the default chain first.
QStringList KnownEngineNames();

// The settings of one engine: the values LibreTranslateUrl, LibreTranslateKey,
// LlmUrl, LlmModel and LlmKey of `prefs` (null: none), each replaced by its
// variable QUILLMATE_LIBRETRANSLATE_URL, _KEY, QUILLMATE_LLM_URL, _MODEL,
// _KEY when that is set; google's and bing's addresses come from the endpoint
// table (QUILLMATE_TRANSLATE_URL, QUILLMATE_BING_AUTH_URL, QUILLMATE_BING_URL).
// A value of the wrong type counts as unset.
EngineSettings LoadEngineSettings(const Preferences* prefs, const QString& name);

// The translation chain: the names of TranslateEngines (comma-separated;
// QUILLMATE_TRANSLATE_ENGINES replaces it; default "google,bing"), unknown
// names and repeats left out, each with LoadEngineSettings; the rests in the
// private runtime folder.
TranslateConfig LoadTranslateConfig(const Preferences* prefs);
// The same from the settings file (defaults when it cannot be read).
TranslateConfig LoadTranslateConfig();

// The settings value that keeps an engine's key; null for an engine without one.
const TextPreference* KeyPreference(const QString& engineName);
// The variable that replaces it.
const char* KeyVariable(const QString& engineName);
// The keyed engines of the chain, set up, whose key neither a variable nor
// the settings file gave: the front ends look these up in the secret service.
QList<const TextPreference*> KeysToLookUp(const TranslateConfig& config);
// Fills in the key of every engine that keeps it under `preference`.
void SetKey(TranslateConfig& config, const TextPreference& preference, const QString& key);

// Translation as the program always did it: google alone, at the endpoint
// table's address.
TranslateConfig GoogleOnlyConfig();
// One engine alone.
TranslateConfig SingleEngineConfig(const EngineSettings& engine);

// The shared rests' file in the private runtime folder; empty without one.
QString RestsFilePath();

// The engine of the settings; null for an unknown name.
std::unique_ptr<TranslationEngine> MakeEngine(const EngineSettings& settings);
