#pragma once

#include <string>
#include <vector>

// The engines' answers in the shapes the desktop program reads with its
// marker extractors (no JSON parser is involved on that side).
namespace engine {

// Engine one: {"items":[{"words":"line"},...]} with the lines in raw UTF-8.
// The reader cuts a line at the first "} and splits the answer at every
// "words":", so a line holding either (or ending in "words":, which the
// closing quote would complete) gets a blank inserted after the quote or
// colon: it stays readable and whole. Zero bytes are dropped and line
// breaks become blanks, since the reader ends the text at a zero byte and
// splits lines at breaks.
std::string WriteEngineOneAnswer(const std::vector<std::string>& lines);

// Engine two: {"state":0,"lines":["line",...]} with every character outside
// printable ASCII, every double quote, backslash, bracket and comma (a line
// starting with "]" would otherwise end the list) written as \uXXXX
// (UTF-16 code units, so a character outside the BMP becomes a surrogate
// pair), which the reader turns back into exactly the line. Its list reader
// drops empty lines except a last one.
std::string WriteEngineTwoAnswer(const std::vector<std::string>& lines);

} // namespace engine
