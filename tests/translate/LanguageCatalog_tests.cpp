#include "translate/LanguageCatalog.h"

#include <QHash>
#include <gtest/gtest.h>

namespace {

// The target list as the user sees it, written out independently of the
// program's table: display text and translation code.
struct Entry {
    const char16_t* display;
    const char* code;
};
const Entry kTargetList[] = {
    {u"简体中文", "zh-CN"},  {u"繁体中文", "zh-TW"},
    {u"英语", "en"},         {u"德语", "de"},
    {u"俄语", "ru"},         {u"法语", "fr"},
    {u"韩语", "ko"},         {u"日语", "ja"},
    {u"阿尔巴尼亚语", "sq"}, {u"阿拉伯语", "ar"},
    {u"阿塞拜疆语", "az"},   {u"爱尔兰语", "ga"},
    {u"爱沙尼亚语", "et"},   {u"巴斯克语", "eu"},
    {u"白俄罗斯语", "be"},   {u"保加利亚语", "bg"},
    {u"冰岛语", "Is"},       {u"波兰语", "pl"},
    {u"波斯语", "fa"},       {u"布尔语(南非荷兰语)", "af"},
    {u"丹麦语", "da"},       {u"菲律宾语", "tl"},
    {u"芬兰语", "fi"},       {u"格鲁吉亚语", "ka"},
    {u"古吉拉特语", "gu"},   {u"海地克里奥尔语", "ht"},
    {u"荷兰语", "nl"},       {u"加利西亚语", "gl"},
    {u"加泰罗尼亚语", "ca"}, {u"捷克语", "cs"},
    {u"卡纳达语", "kn"},     {u"克罗地亚语", "hr"},
    {u"拉丁语", "la"},       {u"拉脱维亚语", "lv"},
    {u"老挝语", "lo"},       {u"立陶宛语", "lt"},
    {u"罗马尼亚语", "ro"},   {u"马耳他语", "mt"},
    {u"马来语", "ms"},       {u"马其顿语", "mk"},
    {u"孟加拉语", "bn"},     {u"挪威语", "no"},
    {u"葡萄牙语", "pt"},     {u"瑞典语", "sv"},
    {u"塞尔维亚语", "sr"},   {u"世界语", "eo"},
    {u"斯洛伐克语", "sk"},   {u"斯洛文尼亚语", "sl"},
    {u"斯瓦希里语", "sw"},   {u"泰卢固语", "te"},
    {u"泰米尔语", "ta"},     {u"泰语", "th"},
    {u"土耳其语", "tr"},     {u"威尔士语", "cy"},
    {u"乌尔都语", "ur"},     {u"乌克兰语", "uk"},
    {u"希伯来语", "iw"},     {u"希腊语", "el"},
    {u"西班牙语", "es"},     {u"匈牙利语", "hu"},
    {u"亚美尼亚语", "hy"},   {u"意大利语", "it"},
    {u"意第绪语", "yi"},     {u"印地语", "hi"},
    {u"印尼语", "id"},       {u"越南语", "vi"},
};

// The only languages the speech service reads; every other one falls back to "zh".
const QHash<QString, QString> kVoices = {
    {"zh-CN", "zh"}, {"zh-TW", "cht"}, {"en", "en"},  {"de", "de"},  {"ru", "ru"},
    {"fr", "fra"},   {"ko", "kor"},    {"ja", "jp"},  {"ar", "ara"}, {"et", "est"},
    {"bg", "bul"},   {"pl", "pl"},     {"da", "dan"}, {"fi", "fin"}, {"nl", "nl"},
    {"cs", "cs"},    {"ro", "rom"},    {"pt", "pt"},  {"sv", "swe"}, {"th", "th"},
    {"el", "el"},    {"es", "spa"},    {"hu", "hu"},  {"it", "it"},  {"vi", "vie"}};

QString ExpectedSpeech(const char* code) {
    return kVoices.value(QString::fromLatin1(code), "zh");
}

TEST(LanguageCatalog, ListTexts) {
    const QStringList target = TargetLanguageItems();
    const QStringList source = SourceLanguageItems();
    ASSERT_EQ(std::size(kTargetList), 66u);
    ASSERT_EQ(target.size(), 66);
    ASSERT_EQ(source.size(), 67);
    EXPECT_EQ(source.front(), QString::fromUtf8("自动检测"));
    for (int i = 0; i < 66; ++i) {
        EXPECT_EQ(target[i], QString::fromUtf16(kTargetList[i].display)) << i;
        EXPECT_EQ(source[i + 1], target[i]) << i;
    }
    EXPECT_EQ(target[2], QString::fromUtf8("英语"));
    EXPECT_EQ(target[19], QString::fromUtf8("布尔语(南非荷兰语)"));
}

TEST(LanguageCatalog, AllFourMapsOnEveryPosition) {
    for (int p = -2; p <= 68; ++p) {
        SCOPED_TRACE(p);
        QString sourceCode, targetCode, sourceSpeech = "zh", targetSpeech = "zh";
        if (p == 0) {
            sourceCode = "auto";
            sourceSpeech = "auto";
        } else if (p >= 1 && p <= 66) {
            sourceCode = kTargetList[p - 1].code;
            sourceSpeech = ExpectedSpeech(kTargetList[p - 1].code);
        }
        if (p >= 0 && p <= 65) {
            targetCode = kTargetList[p].code;
            targetSpeech = ExpectedSpeech(kTargetList[p].code);
        }
        EXPECT_EQ(SourceLangCode(p), sourceCode);
        EXPECT_EQ(TargetLangCode(p), targetCode);
        EXPECT_EQ(SourceSpeechCode(p), sourceSpeech);
        EXPECT_EQ(TargetSpeechCode(p), targetSpeech);
    }
    EXPECT_EQ(kVoices.size(), 25);
}

TEST(LanguageCatalog, CodesWorthNoting) {
    struct Case {
        QString actual;
        const char* expected;
    } const cases[] = {
        {TargetLangCode(16), "Is"},        {TargetSpeechCode(16), "zh"},
        {TargetLangCode(56), "iw"},        {TargetLangCode(21), "tl"},
        {TargetLangCode(65), "vi"},        {TargetSpeechCode(65), "vie"},
        {SourceSpeechCode(9), "zh"},       {SourceSpeechCode(8), "jp"},
        {SourceLangCode(1), "zh-CN"},      {SourceLangCode(2), "zh-TW"},
        {SourceSpeechCode(2), "cht"},      {SourceLangCode(INT_MIN), ""},
        {TargetSpeechCode(INT_MAX), "zh"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.actual, QString::fromLatin1(c.expected));
}

} // namespace
