#pragma once

#include <QString>
#include <memory>
#include <stdexcept>

// Raised when a value exists with the other type than the one read. what() is
// "Invalid data type for '<name>'".
class ESettingsError : public std::runtime_error {
public:
    explicit ESettingsError(const QString& message);
};

// The settings key HKEY_CURRENT_USER\Software\quilltranslation, kept as the text
// file ${XDG_CONFIG_HOME:-$HOME/.config}/quilltranslation/settings.reg in the
// registry-export format. Value names compare without regard to case and keep
// the case first written. Every write replaces the file atomically.
class SettingsKey {
public:
    // Opens the key, creating it when missing. Null when the file cannot be
    // read or parsed (such a file is never overwritten).
    static std::unique_ptr<SettingsKey> Open();

    static QString FilePath();

    bool ValueExists(const QString& name) const;
    // Both throw ESettingsError when the value exists with the other type.
    // Reading an absent value is the caller's mistake and returns 0 / "".
    int32_t ReadInteger(const QString& name) const;
    QString ReadString(const QString& name) const;
    // False when the file could not be replaced (the previous file stays).
    bool WriteInteger(const QString& name, int32_t value);
    bool WriteString(const QString& name, const QString& value);

private:
    SettingsKey() = default;
    struct Data;
    std::shared_ptr<Data> d_;
};
