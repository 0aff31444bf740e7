#pragma once

#include "base/Settings.h"

#include <QString>
#include <cstdint>
#include <memory>

// One value of the settings file: the name it is stored under and what it
// reads as while absent. Names compare without regard to case; a value
// written for the first time keeps writtenAs (the name when null).
struct IntPreference {
    const char* name;
    int32_t fallback;
    const char* writtenAs = nullptr;
};
struct TextPreference {
    const char* name;
    const char* fallback; // UTF-8
};

// Every value the program keeps, in one place. Adding one is one line here.
namespace pref {
// List positions of the window's two languages, saved on close.
inline constexpr IntPreference SourceLanguage{"SourceLanguage", 0};
inline constexpr IntPreference TargetLanguage{"TargetLanguage", 2};
// The recognition engine of the popup menu; the menu writes it as "ocr".
inline constexpr IntPreference Ocr{"OCR", 1, "ocr"};
// The look of the popup menu, 1..3.
inline constexpr IntPreference Face{"Face", 1};
// Written on close: the engine as read at the start, and two values nothing sets.
inline constexpr IntPreference OcrServer{"OCRServer", 0};
inline constexpr IntPreference OcrLanguage{"OCRLanguage", 0};
inline constexpr TextPreference OcrPath{"OCRPath", ""};
// Global shortcuts; an empty value turns one off.
inline constexpr TextPreference HotkeyTranslateSelection{"HotkeyTranslateSelection", "Ctrl+Alt+E"};
inline constexpr TextPreference HotkeyRecognizeRegion{"HotkeyRecognizeRegion", "Ctrl+Alt+O"};
// The random identifier feedback is sent with.
inline constexpr TextPreference InstallationId{"InstallationID", ""};
// The switch "记录翻译历史": 0 records nothing.
inline constexpr IntPreference HistoryEnabled{"HistoryEnabled", 1};
// Where "添加到 Anki" finds Anki's AnkiConnect add-on.
inline constexpr TextPreference AnkiConnectUrl{"AnkiConnectUrl", "http://127.0.0.1:8765"};
// The translation engines in the order tried (comma-separated names), and the
// addresses, model and keys of the two the user sets up. A key is kept here
// only where no secret service runs; the file is then the user's alone.
inline constexpr TextPreference TranslateEngines{"TranslateEngines", "google,bing"};
inline constexpr TextPreference LibreTranslateUrl{"LibreTranslateUrl", ""};
inline constexpr TextPreference LibreTranslateKey{"LibreTranslateKey", ""};
inline constexpr TextPreference LlmUrl{"LlmUrl", ""};
inline constexpr TextPreference LlmModel{"LlmModel", ""};
inline constexpr TextPreference LlmKey{"LlmKey", ""};
} // namespace pref

// The settings key read and written by preference rather than by name.
class Preferences {
public:
    // Opens the key, creating it when missing; null when the file cannot be
    // read or parsed.
    static std::unique_ptr<Preferences> Open();

    bool Has(const IntPreference& p) const;
    bool Has(const TextPreference& p) const;
    // The stored value, or the fallback while absent. Throw ESettingsError
    // ("Invalid data type for '<name>'") when it is stored with the other type.
    int32_t Read(const IntPreference& p) const;
    QString Read(const TextPreference& p) const;
    // False when the file could not be replaced (the previous file stays).
    bool Write(const IntPreference& p, int32_t value);
    bool Write(const TextPreference& p, const QString& value);

    // One value on its own: the fallback when the key cannot be opened or
    // the value is absent or of the other type.
    static int32_t Get(const IntPreference& p);
    static QString Get(const TextPreference& p);

private:
    explicit Preferences(std::unique_ptr<SettingsKey> key) : key_(std::move(key)) {}
    std::unique_ptr<SettingsKey> key_;
};
