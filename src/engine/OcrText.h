#pragma once

#include <string>
#include <vector>

namespace engine {

// One character as Tesseract found it.
struct OcrGlyph {
    std::string text;        // UTF-8, one character (rarely a ligature)
    bool startsWord = false; // Tesseract put a word break before it
    int gapBefore = 0;       // empty columns in the picture at that break
};

// A line from Tesseract's characters, with blanks where the text has them.
// Tesseract takes nearly every CJK character for a word of its own; Chinese
// and Japanese put no blanks between characters, so those breaks are
// dropped. Where a CJK character (Hangul included, as Korean separates
// words) meets a neighbour, a break is a blank only if the picture shows a
// gap as wide as one. Two Latin words always keep their blank.
std::string JoinOcrGlyphs(const std::vector<OcrGlyph>& glyphs, int lineHeight);

// The widest run of empty columns that reaches into [position - radius,
// position + radius]; `ink` tells, column by column of a line, whether it
// holds ink. Tesseract's character boxes are rough, so its break position is
// only a hint of where to look.
int GapNear(const std::vector<bool>& ink, int position, int radius);

// Whether a character is written without blanks around it in Chinese and
// Japanese text, or stands in Korean: Han, Kana, Hangul, full-width forms.
bool IsWideCharacter(const std::string& character);

} // namespace engine
