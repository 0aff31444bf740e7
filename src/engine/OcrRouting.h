#pragma once

#include <string_view>

namespace engine {

enum class OcrBackend { PpOcr, Tesseract };

// Which back end reads a Tesseract language set: PP-OCR for Simplified
// Chinese and English (the automatic set is both), Tesseract for every other
// language, Traditional Chinese included, and for everything when PP-OCR's models are not
// there. Measured on screen pictures, PP-OCR reads these far better.
OcrBackend BackendFor(std::string_view languages, bool ppOcrLoaded);

} // namespace engine
