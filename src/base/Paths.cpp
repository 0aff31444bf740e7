#include "base/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace {

// XDG base directories must be absolute; a relative value is ignored.
QString XdgDir(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + '/' + fallbackUnderHome;
}

} // namespace

QString LocalAppDataPath() {
    QString path = qEnvironmentVariable("QUILLMATE_DATA_DIR");
    if (path.isEmpty())
        path = XdgDir("XDG_DATA_HOME", ".local/share") + "/quillmate";
    path = QDir::cleanPath(QDir(path).absolutePath());
    if (!QDir().mkpath(path) || !QFileInfo(path).isDir())
        return QString();
    return path;
}
