#include "translate/LanguageCatalog.h"

#include <iterator>

namespace {

struct Language {
    const char16_t* display;
    const char* translationCode;
    const char* speechCode; // null: the speech service has no voice for it
};

// Source list order. Positions are stored in the settings, so rows are never
// reordered; the target list is this table without its first row.
constexpr Language kLanguages[] = {
    {u"自动检测", "auto", "auto"},
    {u"简体中文", "zh-CN", "zh"},
    {u"繁体中文", "zh-TW", "cht"},
    {u"英语", "en", "en"},
    {u"德语", "de", "de"},
    {u"俄语", "ru", "ru"},
    {u"法语", "fr", "fra"},
    {u"韩语", "ko", "kor"},
    {u"日语", "ja", "jp"},
    {u"阿尔巴尼亚语", "sq", nullptr},
    {u"阿拉伯语", "ar", "ara"},
    {u"阿塞拜疆语", "az", nullptr},
    {u"爱尔兰语", "ga", nullptr},
    {u"爱沙尼亚语", "et", "est"},
    {u"巴斯克语", "eu", nullptr},
    {u"白俄罗斯语", "be", nullptr},
    {u"保加利亚语", "bg", "bul"},
    {u"冰岛语", "Is", nullptr},
    {u"波兰语", "pl", "pl"},
    {u"波斯语", "fa", nullptr},
    {u"布尔语(南非荷兰语)", "af", nullptr},
    {u"丹麦语", "da", "dan"},
    {u"菲律宾语", "tl", nullptr},
    {u"芬兰语", "fi", "fin"},
    {u"格鲁吉亚语", "ka", nullptr},
    {u"古吉拉特语", "gu", nullptr},
    {u"海地克里奥尔语", "ht", nullptr},
    {u"荷兰语", "nl", "nl"},
    {u"加利西亚语", "gl", nullptr},
    {u"加泰罗尼亚语", "ca", nullptr},
    {u"捷克语", "cs", "cs"},
    {u"卡纳达语", "kn", nullptr},
    {u"克罗地亚语", "hr", nullptr},
    {u"拉丁语", "la", nullptr},
    {u"拉脱维亚语", "lv", nullptr},
    {u"老挝语", "lo", nullptr},
    {u"立陶宛语", "lt", nullptr},
    {u"罗马尼亚语", "ro", "rom"},
    {u"马耳他语", "mt", nullptr},
    {u"马来语", "ms", nullptr},
    {u"马其顿语", "mk", nullptr},
    {u"孟加拉语", "bn", nullptr},
    {u"挪威语", "no", nullptr},
    {u"葡萄牙语", "pt", "pt"},
    {u"瑞典语", "sv", "swe"},
    {u"塞尔维亚语", "sr", nullptr},
    {u"世界语", "eo", nullptr},
    {u"斯洛伐克语", "sk", nullptr},
    {u"斯洛文尼亚语", "sl", nullptr},
    {u"斯瓦希里语", "sw", nullptr},
    {u"泰卢固语", "te", nullptr},
    {u"泰米尔语", "ta", nullptr},
    {u"泰语", "th", "th"},
    {u"土耳其语", "tr", nullptr},
    {u"威尔士语", "cy", nullptr},
    {u"乌尔都语", "ur", nullptr},
    {u"乌克兰语", "uk", nullptr},
    {u"希伯来语", "iw", nullptr},
    {u"希腊语", "el", "el"},
    {u"西班牙语", "es", "spa"},
    {u"匈牙利语", "hu", "hu"},
    {u"亚美尼亚语", "hy", nullptr},
    {u"意大利语", "it", "it"},
    {u"意第绪语", "yi", nullptr},
    {u"印地语", "hi", nullptr},
    {u"印尼语", "id", nullptr},
    {u"越南语", "vi", "vie"},
};

constexpr int kSourceCount = int(std::size(kLanguages));
constexpr int kTargetCount = kSourceCount - 1;

// Unsigned comparison folds -1 and every other negative position into "invalid".
const Language* SourceRow(int position) {
    return unsigned(position) < unsigned(kSourceCount) ? &kLanguages[position] : nullptr;
}

const Language* TargetRow(int position) {
    return unsigned(position) < unsigned(kTargetCount) ? &kLanguages[position + 1] : nullptr;
}

QString TranslationCodeOf(const Language* row) {
    return row ? QString::fromLatin1(row->translationCode) : QString();
}

QString SpeechCodeOf(const Language* row) {
    return QString::fromLatin1(row && row->speechCode ? row->speechCode : "zh");
}

QStringList DisplayTexts(int first) {
    QStringList items;
    items.reserve(kSourceCount - first);
    for (int i = first; i < kSourceCount; ++i)
        items.append(QString::fromUtf16(kLanguages[i].display));
    return items;
}

} // namespace

QStringList SourceLanguageItems() {
    return DisplayTexts(0);
}
QStringList TargetLanguageItems() {
    return DisplayTexts(1);
}

QString SourceLangCode(int position) {
    return TranslationCodeOf(SourceRow(position));
}
QString TargetLangCode(int position) {
    return TranslationCodeOf(TargetRow(position));
}
QString SourceSpeechCode(int position) {
    return SpeechCodeOf(SourceRow(position));
}
QString TargetSpeechCode(int position) {
    return SpeechCodeOf(TargetRow(position));
}
