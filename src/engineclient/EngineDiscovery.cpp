#include "engineclient/EngineDiscovery.h"

#include "engineclient/EngineProbe.h"
#include "engineclient/EngineSpawn.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kProbeTimeoutMs = 2000;
constexpr char kPublished[] = "/engine";
constexpr char kLock[] = "/engine.lock";
constexpr char kLog[] = "/engine.log";

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

// A folder of ours alone: made when missing, never through a link, refused
// when someone else owns it or may look into it.
bool PrivateFolder(const QString& folder) {
    if (folder.isEmpty())
        return false;
    ::mkdir(Native(folder).constData(), 0700);
    struct stat info {};
    return ::lstat(Native(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

class FolderLock {
public:
    FolderLock(const QString& folder, int timeoutMs) {
        fd_ = ::open(Native(folder + kLock).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                     0600);
        for (int waited = 0; fd_ >= 0; waited += 20) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                break;
            }
            if (waited >= timeoutMs)
                break;
            QThread::msleep(20);
        }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool locked() const { return locked_; }

private:
    int fd_ = -1;
    bool locked_ = false;
};

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
    if (lines.size() >= 2) {
        engine.baseUrl = QString::fromUtf8(lines[0]);
        engine.pid = lines[1].toLongLong();
    }
    return engine;
}

bool Publish(const QString& folder, const FoundEngine& engine) {
    const QByteArray temporary = Native(folder + kPublished + QStringLiteral(".new"));
    const int fd =
        ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const QByteArray text = engine.baseUrl.toUtf8() + '\n' + QByteArray::number(engine.pid) + '\n';
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

FoundEngine Start(const EngineSettings& settings, const QString& logPath) {
    const QStringList arguments{
        QStringLiteral("--listen"),    QStringLiteral("127.0.0.1:0"),
        QStringLiteral("--token"),     FreshToken(),
        QStringLiteral("--idle-exit"), QString::number(settings.idleExitSeconds)};
    const SpawnedServer spawned =
        SpawnDetachedServer(settings.program, arguments, logPath, settings.startTimeoutMs);
    FoundEngine engine{spawned.url, spawned.pid, spawned.error};
    if (engine.baseUrl.isEmpty() || !EngineAnswers(engine.baseUrl, kProbeTimeoutMs)) {
        // Never leave behind a server nobody can find.
        if (spawned.pid > 0)
            ::kill(static_cast<pid_t>(spawned.pid), SIGTERM);
        if (engine.error.isEmpty())
            engine.error = QStringLiteral("the engine did not answer at ") + engine.baseUrl;
        engine.baseUrl.clear();
    }
    return engine;
}

} // namespace

FoundEngine FindOrStartEngine(const EngineSettings& settings) {
    if (!PrivateFolder(settings.runtimeFolder))
        return Start(settings, QStringLiteral("/dev/null"));
    FolderLock lock(settings.runtimeFolder, settings.startTimeoutMs + 5000);
    if (!lock.locked())
        return {QString(), -1, QStringLiteral("the engine folder stays locked")};
    const FoundEngine published = ReadPublished(settings.runtimeFolder);
    if (!published.baseUrl.isEmpty() && EngineAnswers(published.baseUrl, kProbeTimeoutMs))
        return published;
    const FoundEngine started = Start(settings, settings.runtimeFolder + kLog);
    if (!started.baseUrl.isEmpty())
        Publish(settings.runtimeFolder, started);
    return started;
}

QString DefaultServerProgram() {
    const QString chosen = qEnvironmentVariable("QUILLMATE_SERVER");
    if (!chosen.isEmpty())
        return chosen;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/quillmate-server");
}

QString DefaultRuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + QStringLiteral("/quillmate");
    return QDir::tempPath() + QStringLiteral("/quillmate-") + QString::number(::geteuid());
}
