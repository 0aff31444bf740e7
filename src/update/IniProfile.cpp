#include "update/IniProfile.h"

#include "base/TextHelpers.h"

#include <QFile>
#include <QList>

namespace {

QByteArray CutValue(QByteArray value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() <= TIniProfile::MaxValueBytes)
        return value;
    qsizetype end = TIniProfile::MaxValueBytes;
    // Step back over continuation bytes so no character is split.
    while (end > 0 && (quint8(value[end]) & 0xC0) == 0x80)
        --end;
    return value.left(end);
}

} // namespace

TIniProfile TIniProfile::FromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TIniProfile(QByteArray());
    return TIniProfile(file.readAll());
}

QString TIniProfile::ReadString(const QString& section, const QString& key,
                                const QString& defaultValue) const {
    QByteArray text = text_;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QByteArray wantedSection = section.trimmed().toUtf8().toLower();
    const QByteArray wantedKey = key.trimmed().toUtf8().toLower();
    bool inSection = false;
    for (QByteArray line : SplitLines(text)) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            const QByteArray name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toLower();
            inSection = name == wantedSection;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        if (line.left(eq).trimmed().toLower() == wantedKey)
            return QString::fromUtf8(CutValue(line.mid(eq + 1).trimmed()));
    }
    return defaultValue;
}
