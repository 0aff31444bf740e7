// Where extracted files go: the Linux folders behind the stored folder kinds.
#include "storage/FileStorage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString WithSlash(QString folder) {
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

QString ProgramFolder() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
}

QString TempFolder() {
    const QByteArray t = qgetenv("TMPDIR");
    return t.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(t);
}

} // namespace

QString TFileStorage::ReadShellFolder(const QString& valueName) {
    QStandardPaths::StandardLocation where;
    if (valueName == "Desktop")
        where = QStandardPaths::DesktopLocation;
    else if (valueName == "Personal")
        where = QStandardPaths::DocumentsLocation;
    else if (valueName == "My Pictures")
        where = QStandardPaths::PicturesLocation;
    else if (valueName == "AppData")
        where = QStandardPaths::GenericConfigLocation;
    else
        return QString();
    return QStandardPaths::writableLocation(where);
}

QString TFileStorage::ResolveExtractFolder(const TExtractTo& extractTo) {
    QString base;
    switch (extractTo.ToplevelDir) {
    case tdNone:
        return extractTo.Subdirectory;
    case tdCurrentDir:
        base = ProgramFolder();
        break;
    case tdWindowsDir:
        base = QStringLiteral("/usr/share");
        break;
    case tdTempDir:
        base = TempFolder();
        break;
    case tdSystemDir:
        base = QStringLiteral("/usr/lib");
        break;
    case tdMediaDir:
        base = QStringLiteral("/usr/share/sounds");
        break;
    case tdCursorsDir:
        base = QStringLiteral("/usr/share/icons");
        break;
    case tdHelpDir:
        base = QStringLiteral("/usr/share/help");
        break;
    case tdSamplesDir:
        base = QStringLiteral("/usr/share/doc");
        break;
    case tdDesktop:
        base = ReadShellFolder(QStringLiteral("Desktop"));
        break;
    case tdProgramFiles:
        base = QStringLiteral("/opt");
        break;
    case tdMyDocuments:
        base = ReadShellFolder(QStringLiteral("Personal"));
        break;
    case tdMyPictures:
        base = ReadShellFolder(QStringLiteral("My Pictures"));
        break;
    case tdAppData:
        base = ReadShellFolder(QStringLiteral("AppData"));
        break;
    }
    QString sub = extractTo.Subdirectory;
    while (sub.startsWith('/'))
        sub.remove(0, 1);
    QString result = WithSlash(base);
    if (!sub.isEmpty())
        result += WithSlash(sub);
    return result;
}

void TFileStorage::ForceFileDirectories(const QString& path) {
    const qsizetype last = path.lastIndexOf('/');
    for (qsizetype i = path.indexOf('/', 1); i >= 0 && i <= last; i = path.indexOf('/', i + 1))
        QDir().mkdir(path.left(i));
}

bool TFileStorage::IsEmptyDirectory(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    QDir dir(folder);
    if (!dir.isReadable())
        return false;
    return dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}
