#pragma once

#include "cli/CommandWords.h"

#include <QString>
#include <QStringList>
#include <optional>

// One command line of the program, parsed. Nothing here looks at files, the
// network or the settings: that is for the commands.
struct CliOptions {
    using Command = CliCommand;
    Command command = Command::Window;
    bool help = false; // "quillmate translate --help" and the like
    bool json = false;
    QString source;     // -s, as given
    QString target;     // -t
    QString language;   // -l
    QString outputFile; // -o
    int engine = 0;     // -e: 1, 2, or 0 when not given
    QString translator; // --engine: a translation engine's name, lower case
    bool check = false; // --check
    QStringList words;  // the text, or the picture for ocr
    // history: the action ("", "export" or "clear") and what it lists.
    QString action;
    QString search;       // --search
    bool starred = false; // --starred
    int limit = 0;        // --limit; 0: every entry
    QString ankiFile;     // --anki
    QString error;        // a usage error, when set
};

// The command line after the program's name: Window when it is empty or one
// window request; any other first word that names no command is an error.
CliOptions ParseCommandLine(const QStringList& arguments);

// The usage of one command (Help/Window: the program's); both in the
// interface's language.
QString UsageText(CliOptions::Command command);

// "quillmate <version>" and a line end.
QString VersionText();

// A list position for a language given as a translation code ("en", "zh-CN",
// "auto" for the source list) or as its name in the list ("英语"); nothing when
// the list has no such language. Codes compare without regard to case.
std::optional<int> SourcePosition(const QString& language);
std::optional<int> TargetPosition(const QString& language);

// A message as the window shows it, without its padding: the leading blanks
// and the blanks set between Chinese characters.
QString PlainMessage(const QString& message);
