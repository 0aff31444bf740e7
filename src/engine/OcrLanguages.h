#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

// Where Tesseract's language data is: $TESSDATA_PREFIX when set, otherwise
// the first of the usual system folders that exists. Looked up on every call,
// so data installed while the server runs is found.
std::filesystem::path OcrDataDirectory();

// OcrLanguagesFor with the data of `directory`.
std::optional<std::string> OcrLanguagesIn(std::string_view speechCode,
                                          const std::filesystem::path& directory);

// A set such as "chi_sim+eng": one to four names of letters, digits and '_'.
// Anything else never reaches Tesseract, which would take it for a path.
bool IsOcrLanguageSet(std::string_view languages);

// The first language of the set whose data file is not in `directory`;
// empty when all are there.
std::string MissingOcrLanguage(std::string_view languages, const std::filesystem::path& directory);

} // namespace engine
