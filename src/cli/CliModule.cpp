// The command line but recognition, as a module the launcher loads.
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "http/auHTTP.h"

#include <QCoreApplication>
#include <QStringList>
#include <thread>

namespace {

int RunCommand(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CliOptions options = ParseCommandLine(arguments);
    if (const std::optional<int> status = cli::AnswerWithoutService(options))
        return *status;
    if (options.command == CliCommand::Languages) {
        QCoreApplication app(argc, argv);
        return RunLanguagesCommand(options);
    }
    if (options.command == CliCommand::History) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillmate"));
        return RunHistoryCommand(options);
    }
    // libcurl's global set-up (the TLS library's) runs beside Qt's.
    std::thread open(TauHTTP::OpenLibrary);
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillmate"));
        switch (options.command) {
        case CliCommand::Translate:
            status = RunTranslateCommand(options);
            break;
        case CliCommand::Engines:
            status = RunEnginesCommand(options);
            break;
        default:
            status = RunSpeakCommand(options);
            break;
        }
    }
    open.join();
    return status;
}

} // namespace

extern "C" Q_DECL_EXPORT int QuillmateCommand(int argc, char** argv) {
    return cli::FinishOutput(RunCommand(argc, argv));
}
