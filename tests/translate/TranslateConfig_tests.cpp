// The chain's configuration: the settings values, the variables that replace
// them, and what is left out.
#include "TempHome.h"
#include "base/Preferences.h"
#include "translate/TranslateConfig.h"

#include <gtest/gtest.h>

namespace {

const char* const kVariables[] = {"QUILLMATE_TRANSLATE_ENGINES",  "QUILLMATE_LIBRETRANSLATE_URL",
                                  "QUILLMATE_LIBRETRANSLATE_KEY", "QUILLMATE_LLM_URL",
                                  "QUILLMATE_LLM_MODEL",          "QUILLMATE_LLM_KEY",
                                  "QUILLMATE_BING_URL",           "QUILLMATE_TRANSLATE_URL"};

QString Describe(const TranslateConfig& config) {
    QStringList parts;
    for (const EngineSettings& e : config.engines)
        parts << e.name + (e.Configured() ? "" : "(off)") + (e.url.isEmpty() ? "" : " " + e.url) +
                     (e.model.isEmpty() ? "" : " " + e.model) +
                     (e.key.isEmpty() ? "" : " key=" + e.key);
    return parts.join(" | ");
}

TEST(TranslateConfig, SettingsAndTheVariablesThatReplaceThem) {
    const struct Row {
        const char* name;
        QList<QPair<QString, QString>> settings;
        QList<QPair<const char*, QByteArray>> variables;
        QString chain;
    } rows[] = {
        {"nothing set",
         {},
         {{"QUILLMATE_TRANSLATE_URL", "http://g/t"}, {"QUILLMATE_BING_URL", "http://b/t"}},
         "google http://g/t | bing http://b/t"},
        {"order as written, unknown names and repeats left out",
         {{"TranslateEngines", " LLM, libretranslate ,deepl,,llm"},
          {"LlmUrl", "http://127.0.0.1:11434/v1"},
          {"LlmModel", "qwen2.5"}},
         {},
         "llm http://127.0.0.1:11434/v1 qwen2.5 | libretranslate(off)"},
        {"variables replace values",
         {{"TranslateEngines", "google"},
          {"LibreTranslateUrl", "http://lt.lan:5000"},
          {"LibreTranslateKey", "old"}},
         {{"QUILLMATE_TRANSLATE_ENGINES", "libretranslate"},
          {"QUILLMATE_LIBRETRANSLATE_KEY", "new"}},
         "libretranslate http://lt.lan:5000 key=new"},
        {"a model needs its address",
         {{"TranslateEngines", "llm"}, {"LlmModel", "m"}},
         {{"QUILLMATE_LLM_KEY", "sk"}},
         "llm(off) m key=sk"},
        {"nothing known falls back to nothing", {{"TranslateEngines", "deepl"}}, {}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome home;
        for (const char* name : kVariables)
            qunsetenv(name);
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        for (const auto& [name, value] : row.settings)
            ASSERT_TRUE(key->WriteString(name, value));
        for (const auto& [name, value] : row.variables)
            qputenv(name, value);
        EXPECT_EQ(Describe(LoadTranslateConfig()), row.chain);
        for (const char* name : kVariables)
            qunsetenv(name);
    }
}

TEST(TranslateConfig, AValueOfTheWrongTypeCountsAsUnset) {
    TempHome home;
    auto key = SettingsKey::Open();
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->WriteInteger("TranslateEngines", 3));
    ASSERT_TRUE(key->WriteInteger("LlmUrl", 1));
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    const TranslateConfig config = LoadTranslateConfig(prefs.get());
    ASSERT_EQ(config.engines.size(), 2);
    EXPECT_EQ(config.engines[0].name, "google");
    EXPECT_EQ(config.engines[1].name, "bing");
    EXPECT_EQ(LoadEngineSettings(prefs.get(), "llm").url, "");
}

// A key comes from its variable, else the settings file; only a set-up engine
// with neither goes to the secret service.
TEST(TranslateConfig, KeysLeftForTheSecretService) {
    const struct Row {
        const char* name;
        QList<QPair<QString, QString>> settings;
        QList<QPair<const char*, QByteArray>> variables;
        QStringList lookups;
    } rows[] = {
        {"both set up without keys",
         {{"TranslateEngines", "llm,libretranslate,google"},
          {"LlmUrl", "http://l/v1"},
          {"LlmModel", "m"},
          {"LibreTranslateUrl", "http://lt"}},
         {},
         {"LlmKey", "LibreTranslateKey"}},
        {"a key in the file, another in a variable",
         {{"TranslateEngines", "libretranslate,llm"},
          {"LibreTranslateUrl", "http://lt"},
          {"LibreTranslateKey", "k"},
          {"LlmUrl", "http://l/v1"},
          {"LlmModel", "m"}},
         {{"QUILLMATE_LLM_KEY", "sk"}},
         {}},
        {"an engine not set up needs no key",
         {{"TranslateEngines", "llm,libretranslate"}, {"LlmUrl", "http://l/v1"}},
         {},
         {}},
        {"an engine out of the chain needs no key",
         {{"TranslateEngines", "google"}, {"LibreTranslateUrl", "http://lt"}},
         {},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome home;
        for (const char* name : kVariables)
            qunsetenv(name);
        auto key = SettingsKey::Open();
        ASSERT_TRUE(key);
        for (const auto& [name, value] : row.settings)
            ASSERT_TRUE(key->WriteString(name, value));
        for (const auto& [name, value] : row.variables)
            qputenv(name, value);
        TranslateConfig config = LoadTranslateConfig();
        QStringList lookups;
        for (const TextPreference* p : KeysToLookUp(config))
            lookups << QString::fromLatin1(p->name);
        EXPECT_EQ(lookups, row.lookups);
        for (const TextPreference* p : KeysToLookUp(config))
            SetKey(config, *p, "found");
        EXPECT_TRUE(KeysToLookUp(config).isEmpty());
        for (const char* name : kVariables)
            qunsetenv(name);
    }
}

} // namespace
