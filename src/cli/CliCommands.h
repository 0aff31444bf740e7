#pragma once

#include "cli/CliOptions.h"
#include "translate/TranslateConfig.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

struct TranslateResult;

// The commands of the command line. Each returns the exit status: 0 done, 1
// the service failed, 2 a usage error. They need a QCoreApplication and never
// a display.
int RunTranslateCommand(const CliOptions& options);
int RunSpeakCommand(const CliOptions& options);
int RunLanguagesCommand(const CliOptions& options);
int RunEnginesCommand(const CliOptions& options);
// Lists, exports or clears the translation history.
int RunHistoryCommand(const CliOptions& options);

// Shared by the commands (and the recognition module).
namespace cli {

// Usage errors, help and version, answered without any service: the exit
// status, or nothing when the command is to run.
std::optional<int> AnswerWithoutService(const CliOptions& options);

void Print(const QString& text);    // to standard output, UTF-8
void Complain(const QString& text); // to standard error, UTF-8, with a line end
// A usage error: the reason and the command's usage on standard error; 2.
int UsageError(CliOptions::Command command, const QString& reason);
// The words joined by blanks, or when there are none, standard input with its
// final line breaks taken off. False, after a usage error was reported, when
// standard input holds more than kMaxStandardInput bytes.
inline constexpr qsizetype kMaxStandardInput = 1024 * 1024;
bool TextOf(const CliOptions& options, QString& text);
// The status once standard output is flushed: 1 instead of 0, with a
// message, when the output could not be written.
int FinishOutput(int status);
// The source position for -s (or -l), or the saved one; nothing, after a
// usage error was reported, when the language is unknown.
bool ResolveSource(const CliOptions& options, const QString& given, int& position);
// Lines of a result (CR LF after each) as a list.
QStringList LinesOf(const QString& text);
// A result's text on standard output: its lines one per line, or with --json
// one object of fields plus "text" and "lines". Returns 0, the exit status.
int PrintResult(const CliOptions& options, const QString& text, QJsonObject fields);
// The engines a command translates with: --engine's alone, else the chain of
// the settings; each key the variables and the settings file lack comes from
// the desktop's secret service.
TranslateConfig ConfigFor(const CliOptions& options);
// A translation into the history, unless the switch is off; a failure or a
// file moved aside is reported on standard error.
void RecordTranslation(const QString& sourceCode, const QString& targetCode, const QString& text,
                       const TranslateResult& result);

} // namespace cli
