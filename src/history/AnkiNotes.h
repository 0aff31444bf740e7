#pragma once

#include "history/HistoryEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// History entries as Anki notes of the stock "Basic" type: the source on the
// front, the translation on the back, in the deck "Quillmate".

inline constexpr char kAnkiDeck[] = "Quillmate";
inline constexpr char kAnkiNoteType[] = "Basic";

// A text as the HTML of a field: &, <, > and " escaped, each line break
// (CR LF, LF or CR) a <br>, a tab &#9; and a leading '#' &#35; (a line that
// begins with '#' is a comment to Anki); other control characters, which
// HTML cannot carry, are left out.
QString AnkiFieldHtml(QStringView text);
// "Quillmate", the language pair ("en→zh-CN") and, for the word book,
// "生词本"; blanks and quotes inside a code become '_'.
QStringList AnkiTags(const HistoryEntry& entry);
// A file that Anki's "Import File" reads with no setting changed (UTF-8):
// header lines for the separator (tab), HTML, the note type and the deck,
// then one line per entry: front, back, tags, and a deck column that makes
// Anki create the deck when it is missing.
QByteArray AnkiImportText(const QList<HistoryEntry>& entries);
// Writes that file through a temporary name; an error message, or empty.
QString WriteAnkiImportFile(const QString& path, const QList<HistoryEntry>& entries);
