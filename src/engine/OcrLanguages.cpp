#include "engine/OcrLanguages.h"

#include "engine/Recognizer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <system_error>

namespace engine {

namespace {

constexpr std::string_view kAutomatic = "chi_sim+eng";
constexpr int kMaxLanguagesInSet = 4;

struct Entry {
    std::string_view speechCode;
    std::string_view languages;
};

constexpr std::array<Entry, 26> kLanguages{{
    {"auto", kAutomatic}, {"zh", "chi_sim+eng"}, {"cht", "chi_tra+eng"}, {"en", "eng"},
    {"de", "deu"},        {"ru", "rus"},         {"fra", "fra"},         {"kor", "kor+eng"},
    {"jp", "jpn+eng"},    {"ara", "ara"},        {"est", "est"},         {"bul", "bul"},
    {"pl", "pol"},        {"dan", "dan"},        {"fin", "fin"},         {"nl", "nld"},
    {"cs", "ces"},        {"rom", "ron"},        {"pt", "por"},          {"swe", "swe"},
    {"th", "tha"},        {"el", "ell"},         {"spa", "spa"},         {"hu", "hun"},
    {"it", "ita"},        {"vie", "vie"},
}};

bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

template <class Visit> void ForEachLanguage(std::string_view languages, Visit visit) {
    size_t start = 0;
    while (start <= languages.size()) {
        const size_t plus = std::min(languages.find('+', start), languages.size());
        if (!visit(languages.substr(start, plus - start)))
            return;
        start = plus + 1;
    }
}

} // namespace

std::filesystem::path OcrDataDirectory() {
    if (const char* prefix = std::getenv("TESSDATA_PREFIX"); prefix && *prefix)
        return prefix;
    static constexpr const char* kSystem[] = {"/usr/share/tesseract-ocr/5/tessdata",
                                              "/usr/share/tesseract-ocr/4.00/tessdata",
                                              "/usr/local/share/tessdata", "/usr/share/tessdata"};
    for (const char* directory : kSystem)
        if (Exists(directory))
            return directory;
    return kSystem[0];
}

bool IsOcrLanguageSet(std::string_view languages) {
    int count = 0;
    bool valid = !languages.empty();
    ForEachLanguage(languages, [&](std::string_view name) {
        valid = valid && !name.empty() && name.size() <= 32 && ++count <= kMaxLanguagesInSet;
        for (char c : name)
            valid = valid && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_');
        return valid;
    });
    return valid;
}

std::string MissingOcrLanguage(std::string_view languages, const std::filesystem::path& directory) {
    std::string missing;
    ForEachLanguage(languages, [&](std::string_view name) {
        if (!Exists(directory / (std::string(name) + ".traineddata")))
            missing = name;
        return missing.empty();
    });
    return missing;
}

std::optional<std::string> OcrLanguagesIn(std::string_view speechCode,
                                          const std::filesystem::path& directory) {
    for (const Entry& entry : kLanguages) {
        if (entry.speechCode != speechCode)
            continue;
        // Without the language's data the automatic set still reads most screens.
        if (!MissingOcrLanguage(entry.languages, directory).empty())
            return std::string(kAutomatic);
        return std::string(entry.languages);
    }
    return std::nullopt;
}

std::optional<std::string> OcrLanguagesFor(std::string_view speechCode) {
    return OcrLanguagesIn(speechCode, OcrDataDirectory());
}

} // namespace engine
