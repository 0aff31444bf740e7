#pragma once

#include <string_view>

namespace engine {

enum class OcrBackend { PpOcr, Tesseract };

// Which back end reads a Tesseract language set: PP-OCR for Chinese and
// English (the automatic set is Simplified Chinese plus English), Tesseract
// for every other language, and for everything when PP-OCR's models are not
// there. Measured on screen pictures, PP-OCR reads these far better.
OcrBackend BackendFor(std::string_view languages, bool ppOcrLoaded);

} // namespace engine
