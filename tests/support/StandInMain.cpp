// quill_standin: the loopback stand-in as a program of its own, for tests that
// start the real executable or drive it from a shell.
//
//   quill_standin [--port-file FILE] [--record FILE]
//                 [--script FILE]... [--answer "PATH key=value ..."]...
//
// Answers use the words of a script line (see ServiceStandIn.h). The free
// port it listens on is printed as "listening on <port>" and written to
// --port-file; every request is appended to --record as one JSON object a
// line. Runs until SIGINT or SIGTERM.
#include "ServiceStandIn.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void Stop(int) {
    g_stop = 1;
}

int Fail(const QString& message) {
    std::fprintf(stderr, "quill_standin: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QString portFile;
    QString recordFile;
    QStringList scripts;
    QStringList answers;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i + 1 >= args.size())
            return Fail(QStringLiteral("%1 needs a value").arg(a));
        const QString value = args[++i];
        if (a == u"--port-file")
            portFile = value;
        else if (a == u"--record")
            recordFile = value;
        else if (a == u"--script")
            scripts << value;
        else if (a == u"--answer")
            answers << value;
        else
            return Fail(QStringLiteral("unknown option %1").arg(a));
    }

    ServiceStandIn standIn;
    if (!standIn.IsListening())
        return Fail(QStringLiteral("cannot listen on 127.0.0.1"));
    QString error;
    for (const QString& script : scripts)
        if (!LoadAnswerScript(script, standIn, error))
            return Fail(error);
    for (const QString& line : answers) {
        QByteArray path;
        StandInAnswer answer;
        if (!ParseAnswerLine(line.toUtf8(), path, answer, error))
            return Fail(error);
        standIn.AddAnswer(path, answer);
    }
    if (!recordFile.isEmpty() && !standIn.RecordTo(recordFile))
        return Fail(QStringLiteral("cannot write %1").arg(recordFile));
    if (!portFile.isEmpty()) {
        QSaveFile f(portFile);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(QByteArray::number(standIn.Port()) + "\n") < 0 || !f.commit())
            return Fail(QStringLiteral("cannot write %1").arg(portFile));
    }
    // Before the banner: a caller may stop us as soon as it has read it.
    std::signal(SIGINT, Stop);
    std::signal(SIGTERM, Stop);
    std::printf("listening on %u\n", unsigned(standIn.Port()));
    std::fflush(stdout);

    while (!g_stop)
        ::usleep(50 * 1000);
    return 0;
}
