#include "base/SettingsText.h"

#include "base/TextHelpers.h"

#include <QStringDecoder>
#include <cctype>

namespace {

const char kHeader[] = "REGEDIT4";
const char kSection[] = "[HKEY_CURRENT_USER\\Software\\quilltranslation]";

QString Escape(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        // Line breaks and NUL would break the one-value-per-line layout.
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Reads a quoted, escaped text starting at line[pos] == '"'. On success pos is
// just past the closing quote.
bool ReadQuoted(const QString& line, qsizetype& pos, QString& out) {
    if (pos >= line.size() || line[pos] != '"')
        return false;
    out.clear();
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= line.size())
            return false;
        switch (line[i].unicode()) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += QChar(0);
            break;
        default:
            return false;
        }
    }
    return false;
}

bool ParseDword(QStringView digits, int32_t& out) {
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    bool ok = false;
    const uint value = digits.toUInt(&ok, 16);
    if (!ok)
        return false;
    for (QChar c : digits)
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())))
            return false;
    out = static_cast<int32_t>(value);
    return true;
}

QString RightTrimmed(QStringView text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return text.first(end).toString();
}

} // namespace

bool ParseSettingsText(QByteArrayView bytes, SettingsValues& values) {
    values.clear();
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return false;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    const QStringList lines = SplitLines(text);
    bool seenHeader = false;
    bool seenSection = false;
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString& line = lines[n];
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(';'))
            continue;
        if (!seenHeader) {
            if (trimmed != QLatin1String(kHeader))
                return false;
            seenHeader = true;
            continue;
        }
        if (trimmed.startsWith('[')) {
            if (seenSection || trimmed.compare(QLatin1String(kSection), Qt::CaseInsensitive) != 0)
                return false;
            seenSection = true;
            continue;
        }
        if (!seenSection)
            return false;

        SettingsValue value;
        qsizetype pos = 0;
        if (!ReadQuoted(line, pos, value.name) || pos >= line.size() || line[pos] != '=')
            return false;
        const QString data = line.mid(pos + 1);
        if (data.startsWith('"')) {
            qsizetype at = 0;
            if (!ReadQuoted(data, at, value.text) || !data.mid(at).trimmed().isEmpty())
                return false;
            value.kind = SettingsValue::String;
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            if (!ParseDword(QStringView(data).mid(6).trimmed(), value.integer))
                return false;
            value.kind = SettingsValue::Integer;
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            // Binary and other typed data: kept as written, continuation lines included.
            value.kind = SettingsValue::Other;
            // Blanks ending a line mean nothing here, so they are dropped and
            // the value reads back exactly after a rewrite.
            value.raw = RightTrimmed(data);
            while (value.raw.endsWith('\\') && n + 1 < lines.size() &&
                   !lines[n + 1].trimmed().isEmpty())
                value.raw += '\n' + RightTrimmed(lines[++n]);
            // A continuation with no line after it would swallow the value we
            // write after it next time, so it is dropped.
            while (value.raw.endsWith('\\'))
                value.raw = RightTrimmed(value.raw.chopped(1));
        } else {
            return false;
        }
        if (SettingsValue* existing = FindSetting(values, value.name)) {
            value.name = existing->name;
            *existing = value;
        } else {
            values.push_back(value);
        }
    }
    // An empty file is a key that was never written; anything else needs the header.
    return seenHeader || text.trimmed().isEmpty();
}

QByteArray WriteSettingsText(const SettingsValues& values) {
    QString text = QLatin1String(kHeader) + "\n\n" + QLatin1String(kSection) + '\n';
    for (const SettingsValue& v : values) {
        text += '"' + Escape(v.name) + "\"=";
        switch (v.kind) {
        case SettingsValue::Integer:
            text += QString::asprintf("dword:%08x", static_cast<uint32_t>(v.integer));
            break;
        case SettingsValue::String:
            text += '"' + Escape(v.text) + '"';
            break;
        case SettingsValue::Other:
            text += v.raw;
            break;
        }
        text += '\n';
    }
    text += '\n';
    return text.toUtf8();
}

const SettingsValue* FindSetting(const SettingsValues& values, const QString& name) {
    for (const SettingsValue& v : values)
        if (v.name.compare(name, Qt::CaseInsensitive) == 0)
            return &v;
    return nullptr;
}

SettingsValue* FindSetting(SettingsValues& values, const QString& name) {
    return const_cast<SettingsValue*>(FindSetting(std::as_const(values), name));
}
