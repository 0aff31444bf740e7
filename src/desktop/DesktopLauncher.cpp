#include "desktop/DesktopLauncher.h"

#include "base/Files.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Desktop entry values escape backslashes; Exec arguments are quoted and
// escape the characters special inside quotes; a literal % is doubled.
QString QuoteExecArgument(const QString& path) {
    QString quoted;
    for (QChar c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    quoted.replace('%', QStringLiteral("%%"));
    quoted = '"' + quoted + '"';
    return quoted.replace('\\', QStringLiteral("\\\\"));
}

// Values are single lines: a line break would start a new key.
QString OneLine(QString value) {
    value.replace('\\', QStringLiteral("\\\\"));
    value.replace('\n', QStringLiteral("\\n"));
    value.replace('\r', QStringLiteral("\\r"));
    return value;
}

} // namespace

QByteArray DesktopLauncher(const QString& program, const QString& folder, const QString& icon) {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Version=1.0\n"
                                  "Name=Quillmate\n");
    text += QStringLiteral("Comment=全球超强的OCR翻译工具\n");
    text += QStringLiteral("Exec=") + QuoteExecArgument(program) + '\n';
    text += QStringLiteral("Path=") + OneLine(folder) + '\n';
    if (!icon.isEmpty())
        text += QStringLiteral("Icon=") + OneLine(icon) + '\n';
    text += QStringLiteral("Terminal=false\n"
                           "Categories=Utility;Office;\n");
    return text.toUtf8();
}

QString DesktopLauncherPath() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) +
           QStringLiteral("/Quillmate.desktop");
}

bool WriteDesktopLauncher(const QString& program, const QByteArray& iconPng,
                          const QString& dataFolder) {
    const QString folder = QFileInfo(program).absolutePath() + '/';
    QString icon;
    if (!iconPng.isEmpty() && !dataFolder.isEmpty()) {
        icon = dataFolder + QStringLiteral("/quillmate.png");
        if (!SaveFileAtomically(icon, iconPng))
            icon.clear();
    }
    const QString path = DesktopLauncherPath();
    if (!SaveFileAtomically(path, DesktopLauncher(program, folder, icon)))
        return false;
    return QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner |
                                           QFileDevice::ExeUser);
}
