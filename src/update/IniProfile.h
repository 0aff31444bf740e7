#pragma once

#include <QByteArray>
#include <QString>

// Reads INI text with the profile rules: section and key names compare without
// regard to case, blanks around names and values are dropped, a value inside
// one pair of matching quotes loses them, the first of repeated keys counts,
// and a value is cut to at most 2047 bytes. The text is taken as UTF-8 (a
// leading byte-order mark is skipped); a cut never splits a character.
class TIniProfile {
public:
    explicit TIniProfile(QByteArray text) : text_(std::move(text)) {}
    // The file's content; a file that cannot be read reads as empty.
    static TIniProfile FromFile(const QString& path);

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;

    static constexpr int MaxValueBytes = 2047;

private:
    QByteArray text_;
};
