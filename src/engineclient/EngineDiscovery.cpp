#include "engineclient/EngineDiscovery.h"

#include "base/FileLock.h"
#include "base/PrivateFolder.h"
#include "engineclient/EngineProbe.h"
#include "engineclient/EngineSpawn.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProbeTimeoutMs = 2000;
constexpr char kPublished[] = "/engine";
constexpr char kSocket[] = "/engine.sock";
constexpr char kLock[] = "/engine.lock";
constexpr char kLog[] = "/engine.log";

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool Shareable(const QString& folder) {
    return !folder.isEmpty() && size_t(Native(folder + kSocket).size()) <= kMaxSocketPathLength &&
           MakePrivateFolder(Native(folder).toStdString());
}

// The server's ready line, "unix:PATH http://localhost/TOKEN/", read into an
// engine; nothing when it is not of that form.
bool ParseReadyLine(const QString& line, FoundEngine& engine) {
    // The URL has no blank; the socket's path may.
    const qsizetype blank = line.lastIndexOf(' ');
    const QString socket = line.left(blank), url = line.mid(blank + 1);
    if (blank < 0 || !socket.startsWith(QLatin1String("unix:/")) ||
        !url.startsWith(QLatin1String("http://")) || !url.endsWith('/'))
        return false;
    engine.socketPath = socket.mid(5);
    engine.baseUrl = url;
    return true;
}

QString ReadyLine(const FoundEngine& engine) {
    return QStringLiteral("unix:") + engine.socketPath + ' ' + engine.baseUrl;
}

FoundEngine ReadPublished(const QString& folder) {
    FoundEngine engine;
    const int fd =
        ::open(Native(folder + kPublished).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return engine;
    struct stat info {};
    QByteArray text;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        (info.st_mode & 077) == 0) {
        char buffer[1024];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            text = QByteArray(buffer, got);
    }
    ::close(fd);
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() >= 2 && ParseReadyLine(QString::fromUtf8(lines[0]), engine))
        engine.pid = lines[1].toLongLong();
    return engine;
}

bool Publish(const QString& folder, const FoundEngine& engine) {
    const QByteArray temporary = Native(folder + kPublished + QStringLiteral(".new"));
    const int fd =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray text =
        ReadyLine(engine).toUtf8() + '\n' + QByteArray::number(engine.pid) + '\n';
    const bool written =
        ::fchmod(fd, 0600) == 0 && ::write(fd, text.constData(), text.size()) == text.size();
    ::close(fd);
    if (!written || ::rename(temporary.constData(), Native(folder + kPublished).constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

QString FreshToken() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString token;
    for (quint32 word : words)
        token += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
    return token;
}

// An engine nobody else shares still needs a folder only we can enter.
QString FolderOfItsOwn() {
    QByteArray made = "/tmp/quillmate-engine-XXXXXX";
    return ::mkdtemp(made.data()) ? QFile::decodeName(made) : QString();
}

FoundEngine Start(const LocalEngineSettings& settings, const QString& folder,
                  const QString& logPath) {
    const QString socket = folder + kSocket;
    // Whatever is left there did not prove itself our engine; the folder is ours.
    struct stat info {};
    if (::lstat(Native(socket).constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        ::unlink(Native(socket).constData());
    const QString token = FreshToken();
    const QStringList arguments{QStringLiteral("--listen"), QStringLiteral("unix:") + socket,
                                QStringLiteral("--token-stdin"), QStringLiteral("--idle-exit"),
                                QString::number(settings.idleExitSeconds)};
    const SpawnedServer spawned = SpawnDetachedServer(
        settings.program, arguments, token.toLatin1() + '\n', logPath, settings.startTimeoutMs);
    FoundEngine engine;
    engine.pid = spawned.pid;
    engine.error = spawned.error;
    const bool ours = ParseReadyLine(spawned.url, engine) && engine.socketPath == socket &&
                      engine.baseUrl.endsWith('/' + token + '/');
    if (!ours || !EngineAnswers(engine, kProbeTimeoutMs)) {
        // Never leave behind a server nobody can find.
        if (spawned.pid > 0)
            ::kill(static_cast<pid_t>(spawned.pid), SIGTERM);
        if (engine.error.isEmpty())
            engine.error = ours ? QStringLiteral("the engine did not answer at ") + socket
                                : QStringLiteral("the engine reported another address");
        engine.baseUrl.clear();
    }
    return engine;
}

} // namespace

FoundEngine FindOrStartEngine(const LocalEngineSettings& settings) {
    const QString folder = settings.runtimeFolder;
    if (!Shareable(folder)) {
        const QString own = FolderOfItsOwn();
        if (own.isEmpty())
            return {QString(), QString(), -1, QStringLiteral("no private folder for the engine")};
        return Start(settings, own, QStringLiteral("/dev/null"));
    }
    FileLock lock(Native(folder + kLock).toStdString(), settings.startTimeoutMs + 5000);
    if (!lock.Locked())
        return {QString(), QString(), -1, QStringLiteral("the engine folder stays locked")};
    const FoundEngine published = ReadPublished(folder);
    // Only the socket of this folder is ever tried, whatever the file names.
    if (published.socketPath == folder + kSocket && EngineAnswers(published, kProbeTimeoutMs))
        return published;
    ::unlink(Native(folder + kPublished).constData());
    const FoundEngine started = Start(settings, folder, folder + kLog);
    if (!started.baseUrl.isEmpty())
        Publish(folder, started);
    return started;
}

QString DefaultServerProgram() {
    const QString chosen = qEnvironmentVariable("QUILLMATE_SERVER");
    if (!chosen.isEmpty())
        return chosen;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/quillmate-server");
}

QString DefaultRuntimeFolder() {
    return QFile::decodeName(PrivateRuntimeFolder().c_str());
}
