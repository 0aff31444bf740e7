#include "engine/OcrRouting.h"

#include <array>

namespace engine {

namespace {

// PP-OCR's alphabet has Simplified and Traditional characters and Latin
// letters, but no Kana and no Hangul.
constexpr std::array<std::string_view, 3> kPpOcrLanguages = {"chi_sim", "chi_tra", "eng"};

bool PpOcrReads(std::string_view language) {
    for (std::string_view known : kPpOcrLanguages)
        if (language == known)
            return true;
    return false;
}

} // namespace

OcrBackend BackendFor(std::string_view languages, bool ppOcrLoaded) {
    if (!ppOcrLoaded || languages.empty())
        return OcrBackend::Tesseract;
    size_t start = 0;
    while (start <= languages.size()) {
        const size_t plus = std::min(languages.find('+', start), languages.size());
        if (!PpOcrReads(languages.substr(start, plus - start)))
            return OcrBackend::Tesseract;
        start = plus + 1;
    }
    return OcrBackend::PpOcr;
}

} // namespace engine
