#pragma once

#include "engine/EngineResult.h"

#include <string>
#include <string_view>
#include <vector>

// The engines' requests as the desktop program sends them, checked and turned
// into jobs. Every function takes bytes and returns values; a bad request
// comes back as an Error, never as an exception.
namespace engine {

struct FormPart {
    std::string name;
    std::string filename; // empty for a text part
    std::string contentType;
    std::string data;
};
using FormParts = std::vector<FormPart>;

struct OcrJob {
    Error error;
    std::string picture;   // the encoded image
    std::string languages; // a Tesseract language set
};

struct SpeechJob {
    Error error;
    std::string text; // UTF-8
    std::string code; // a speech code of the catalogue
    int speed = 5;
};

// Engine one: "imgBase" holds "data:image/...;base64," + base64 (+ CR LF),
// "lang" a speech code ("auto"), "company" is ignored.
OcrJob ParseEngineOneRequest(const FormParts& parts);
// Engine two: the file part "image", "from" a speech code, "to" is ignored.
OcrJob ParseEngineTwoRequest(const FormParts& parts);
// The speech form: lan, ie, text, spd, source.
SpeechJob ParseSpeechRequest(std::string_view formBody);

// Strict base64 (RFC 4648 alphabet, padding required); false on any other
// character or a bad length.
bool DecodeBase64(std::string_view text, std::string& out);

// An application/x-www-form-urlencoded body as name/value pairs, in order.
// False on a broken %-escape.
bool ParseFormBody(std::string_view body, std::vector<std::pair<std::string, std::string>>& out);

// The desktop program encodes each UTF-16 code unit on its own, so a
// character outside the BMP arrives as two 3-byte surrogate sequences. This
// joins them into the 4-byte form and replaces every other malformed
// sequence with U+FFFD.
std::string RepairUtf8(std::string_view text);

} // namespace engine
