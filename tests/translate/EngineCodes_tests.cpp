// Every catalogue language has a code with every engine, or is left out on
// purpose; no two languages share a code.
#include "EngineTestUtil.h"
#include "translate/LanguageCatalog.h"
#include "translate/engines/TranslationEngine.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

TEST(EngineCodes, EveryCatalogueLanguageMapsOrIsLeftOutOnPurpose) {
    const struct Row {
        const char* engine;
        QSet<QString> lacking; // catalogue codes the engine has no language for
        QList<QPair<QString, QString>> samples;
    } rows[] = {
        {"google", {}, {{"Is", "Is"}, {"iw", "iw"}, {"zh-CN", "zh-CN"}}},
        {"bing",
         {"be", "la", "eo", "yi"},
         {{"zh-CN", "zh-Hans"},
          {"zh-TW", "zh-Hant"},
          {"Is", "is"},
          {"iw", "he"},
          {"tl", "fil"},
          {"no", "nb"},
          {"sr", "sr-Cyrl"}}},
        {"libretranslate",
         {"be", "Is", "af", "ka", "gu", "ht", "kn", "hr", "la", "lo", "mt", "mk", "sw", "te", "ta",
          "cy", "hy", "yi"},
         {{"zh-CN", "zh"}, {"zh-TW", "zt"}, {"iw", "he"}, {"no", "nb"}, {"tl", "tl"}}},
        {"llm",
         {},
         {{"zh-CN", "Simplified Chinese"},
          {"zh-TW", "Traditional Chinese"},
          {"Is", "Icelandic"},
          {"iw", "Hebrew"},
          {"tl", "Filipino"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.engine);
        const auto engine = MakeEngine(Engine(row.engine, "http://h/", "model"));
        ASSERT_TRUE(engine);
        EXPECT_EQ(engine->Code(u"auto"), QStringLiteral("auto"));
        QSet<QString> codes;
        for (int position = 0; position < TargetLanguageItems().size(); ++position) {
            const QString language = TargetLangCode(position);
            const std::optional<QString> code = engine->Code(language);
            EXPECT_EQ(!code, row.lacking.contains(language)) << language.toStdString();
            if (!code)
                continue;
            EXPECT_FALSE(code->isEmpty()) << language.toStdString();
            EXPECT_FALSE(codes.contains(*code)) << code->toStdString() << " twice";
            codes.insert(*code);
        }
        for (const auto& [language, code] : row.samples)
            EXPECT_EQ(engine->Code(language), code) << language.toStdString();
        EXPECT_EQ(engine->Code(u"xx"), row.engine == QLatin1String("google")
                                           ? std::optional<QString>("xx")
                                           : std::nullopt);
    }
}

} // namespace
