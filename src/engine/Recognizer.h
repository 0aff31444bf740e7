#pragma once

#include "engine/EngineResult.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

struct Recognition {
    Error error;
    std::vector<std::string> lines; // UTF-8, in reading order, without line breaks
};

// Reads Simplified Chinese and English with PP-OCR (see OcrRouting.h) when
// its models load, every other language with Tesseract, kept initialised for
// the language sets it used last (loading a model costs 100-350 ms): up to
// three sets, each its own Tesseract instance, so alternating sets never
// reload. Resident cost measured on a crop: about
// 65 MB for chi_sim+eng, 46 MB for jpn+eng, 13 MB for eng; 120-180 MB with
// the cache full. Not thread-safe: every worker thread owns one, and any
// number of them may work at once. Tesseract's OpenMP threads are kept off:
// a recogniser works on the thread that calls it.
class Recognizer {
public:
    // PP-OCR's models from PpOcrModelDirectory().
    Recognizer();
    // PP-OCR's models from `models`; without them Tesseract reads everything.
    explicit Recognizer(const std::filesystem::path& models);
    ~Recognizer();
    Recognizer(const Recognizer&) = delete;
    Recognizer& operator=(const Recognizer&) = delete;

    // picture: an encoded image (JPEG, PNG or BMP; at most 10000 pixels a
    // side and 25 megapixels, refused from its header); languages: a
    // Tesseract language set such as "chi_sim+eng" (English, when in the set,
    // is tried first whatever its place). Before decoding, the most memory
    // the picture's recognition may take is reserved from DecodeBudget(); it
    // shrinks to what is left once the crop is planned, and goes back when
    // the call returns (RecognitionMemory.h). Fails with BadRequest for a
    // malformed set, EngineFailed when its data is not installed, TooLarge or
    // NotAPicture for the picture (TooLarge too when it needs more than the
    // whole budget), Busy when other calls hold the budget for longer than
    // its patience. PP-OCR reserves its own measure (PpOcrMemory.h), and a
    // picture that needs more than the whole budget waits for all of it
    // instead. Lines are trimmed, empty ones dropped; CJK characters are not
    // separated by blanks.
    Recognition Recognize(std::string_view picture, const std::string& languages);

    // Whether PP-OCR's models are loaded.
    bool HasPpOcr() const;

    // How long Tesseract may spend on one picture (default one minute): a
    // busy picture such as noise takes it up to two minutes a megapixel.
    // Past it the call fails with EngineFailed.
    void SetDeadline(std::chrono::milliseconds deadline);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The Tesseract language set for a speech code of the language catalogue
// ("auto" included); nothing for a code the catalogue does not have.
std::optional<std::string> OcrLanguagesFor(std::string_view speechCode);

} // namespace engine
