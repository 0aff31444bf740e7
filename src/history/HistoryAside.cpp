#include "history/HistoryAside.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace {

const char* const kCompanions[] = {"-wal", "-shm", "-journal"};

bool Exists(const QString& path) {
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

// Fails instead of replacing a file that is already there.
bool RenameNoReplace(const QString& from, const QString& to) {
    return ::renameat2(AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                       QFile::encodeName(to).constData(), RENAME_NOREPLACE) == 0;
}

QString FreeName(const QString& path, const QString& reason, const QDateTime& now) {
    const QFileInfo info(path);
    const QString stem = info.path() + u'/' + info.completeBaseName() + u'-' + reason + u'-' +
                         now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    for (int n = 1;; ++n) {
        const QString name = stem + (n == 1 ? QString() : u'-' + QString::number(n)) + suffix;
        bool taken = Exists(name);
        for (const char* c : kCompanions)
            taken = taken || Exists(name + QLatin1String(c));
        if (!taken)
            return name;
    }
}

} // namespace

QString MoveHistoryAside(const QString& path, const QString& reason, const QDateTime& now,
                         QString& error) {
    const QString aside = FreeName(path, reason, now);
    QStringList moved;
    auto undo = [&] {
        for (const QString& c : moved)
            RenameNoReplace(aside + c, path + c);
    };
    for (const char* c : kCompanions) {
        const QString from = path + QLatin1String(c);
        if (!Exists(from))
            continue;
        if (!RenameNoReplace(from, aside + QLatin1String(c))) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            undo();
            return {};
        }
        moved << QLatin1String(c);
    }
    if (!RenameNoReplace(path, aside)) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        undo();
        return {};
    }
    return aside;
}
