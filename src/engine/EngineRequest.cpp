#include "engine/EngineRequest.h"

#include "engine/EngineLimits.h"
#include "engine/Recognizer.h"
#include "engine/Speech.h"
#include "engine/Utf8Decode.h"

#include <algorithm>
#include <array>

namespace engine {

namespace {

Error Bad(std::string text) {
    return {Failure::BadRequest, std::move(text)};
}

const FormPart* FindPart(const FormParts& parts, std::string_view name) {
    auto it = std::find_if(parts.begin(), parts.end(),
                           [&](const FormPart& part) { return part.name == name; });
    return it == parts.end() ? nullptr : &*it;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return true;
}

// The Tesseract languages for a speech code; an unknown code is the
// client's error.
OcrJob WithLanguages(OcrJob job, std::string_view code) {
    if (job.error)
        return job;
    const auto languages = OcrLanguagesFor(code.empty() ? std::string_view("auto") : code);
    if (!languages) {
        job.error = Bad("unknown language code");
        return job;
    }
    job.languages = *languages;
    return job;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

bool DecodeBase64(std::string_view text, std::string& out) {
    static const std::array<short, 256> table = [] {
        std::array<short, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(alphabet[i])] = static_cast<short>(i);
        return t;
    }();
    out.clear();
    if (text.size() % 4 != 0)
        return false;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int padding = 0;
        unsigned group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            if (c == '=' && last && k >= 2) {
                // "=" only at the end, and "x=" never before a digit.
                if (k == 2 && text[i + 3] != '=')
                    return false;
                ++padding;
                group <<= 6;
                continue;
            }
            const int value = table[static_cast<unsigned char>(c)];
            if (value < 0 || padding > 0)
                return false;
            group = (group << 6) | static_cast<unsigned>(value);
        }
        out += static_cast<char>(group >> 16);
        if (padding < 2)
            out += static_cast<char>((group >> 8) & 0xFF);
        if (padding < 1)
            out += static_cast<char>(group & 0xFF);
    }
    return true;
}

bool ParseFormBody(std::string_view body, std::vector<std::pair<std::string, std::string>>& out) {
    out.clear();
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        std::string name, value;
        if (!PercentDecode(pair.substr(0, eq), name))
            return false;
        if (eq != std::string_view::npos && !PercentDecode(pair.substr(eq + 1), value))
            return false;
        out.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

std::string RepairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = NextCodePoint(text, i);
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = kReplacement;
        AppendUtf8(out, cp);
    }
    return out;
}

OcrJob ParseEngineOneRequest(const FormParts& parts) {
    OcrJob job;
    const FormPart* image = FindPart(parts, "imgBase");
    if (!image)
        return {Bad("missing field imgBase"), {}, {}};
    std::string_view value = TrimTrailingBlanks(image->data);
    constexpr std::string_view kScheme = "data:";
    constexpr std::string_view kBase64 = ";base64,";
    const std::size_t comma = value.find(kBase64);
    if (value.substr(0, kScheme.size()) != kScheme || comma == std::string_view::npos ||
        value.substr(kScheme.size(), 6) != "image/")
        return {Bad("imgBase is not a data:image/...;base64, address"), {}, {}};
    if (!DecodeBase64(value.substr(comma + kBase64.size()), job.picture))
        return {Bad("imgBase holds bad base64"), {}, {}};
    const FormPart* lang = FindPart(parts, "lang");
    return WithLanguages(std::move(job), lang ? std::string_view(lang->data) : "auto");
}

OcrJob ParseEngineTwoRequest(const FormParts& parts) {
    OcrJob job;
    const FormPart* image = FindPart(parts, "image");
    if (!image || image->filename.empty())
        return {Bad("missing file part image"), {}, {}};
    job.picture = image->data;
    const FormPart* from = FindPart(parts, "from");
    return WithLanguages(std::move(job), from ? std::string_view(from->data) : "auto");
}

SpeechJob ParseSpeechRequest(std::string_view formBody) {
    SpeechJob job;
    if (formBody.size() > kMaxSpeechBodyBytes)
        return {{Failure::TooLarge, "form body too large"}, {}, {}, 5};
    std::vector<std::pair<std::string, std::string>> fields;
    if (!ParseFormBody(formBody, fields))
        return {Bad("broken %-escape in the form body"), {}, {}, 5};
    auto field = [&](std::string_view name) -> const std::string* {
        for (const auto& [key, value] : fields)
            if (key == name)
                return &value;
        return nullptr;
    };
    if (const std::string* ie = field("ie"); ie && !EqualsIgnoringAsciiCase(*ie, "UTF-8"))
        return {Bad("only ie=UTF-8 is supported"), {}, {}, 5};
    const std::string* lan = field("lan");
    if (!lan || !VoiceFor(*lan))
        return {Bad("unknown language code"), {}, {}, 5};
    job.code = *lan;
    if (const std::string* spd = field("spd")) {
        if (spd->size() != 1 || (*spd)[0] < '0' || (*spd)[0] > '9')
            return {Bad("spd must be 0 to 9"), {}, {}, 5};
        job.speed = (*spd)[0] - '0';
    }
    const std::string* text = field("text");
    if (!text || text->empty())
        return {Bad("empty text"), {}, {}, 5};
    if (text->size() > kMaxSpeechTextBytes)
        return {{Failure::TooLarge, "text too long"}, {}, {}, 5};
    job.text = RepairUtf8(*text);
    return job;
}

} // namespace engine
