#include "base/Settings.h"

#include "base/Files.h"
#include "base/TextHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cctype>
#include <vector>

ESettingsError::ESettingsError(const QString& message)
    : std::runtime_error(message.toStdString()) {}

namespace {

const char kHeader[] = "REGEDIT4";
const char kSection[] = "[HKEY_CURRENT_USER\\Software\\quilltranslation]";

} // namespace

struct SettingsKey::Value {
    enum Kind { Integer, String, Other };
    QString name; // case as first written
    Kind kind = Integer;
    int32_t integer = 0;
    QString text;
    QString raw; // "Other": the data as found after '=', written back unchanged
};

struct SettingsKey::Data {
    QString path;
    std::vector<Value> values;

    const Value* Find(const QString& name) const {
        for (const Value& v : values)
            if (v.name.compare(name, Qt::CaseInsensitive) == 0)
                return &v;
        return nullptr;
    }
    Value* Find(const QString& name) {
        return const_cast<Value*>(static_cast<const Data*>(this)->Find(name));
    }
    bool Load();
    bool Save() const;
    bool Write(const QString& name, Value value);
};

namespace {

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

} // namespace

bool SettingsKey::Data::Load() {
    values.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
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

        Value value;
        qsizetype pos = 0;
        if (!ReadQuoted(line, pos, value.name) || pos >= line.size() || line[pos] != '=')
            return false;
        const QString data = line.mid(pos + 1);
        if (data.startsWith('"')) {
            qsizetype at = 0;
            if (!ReadQuoted(data, at, value.text) || !data.mid(at).trimmed().isEmpty())
                return false;
            value.kind = Value::String;
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            if (!ParseDword(QStringView(data).mid(6).trimmed(), value.integer))
                return false;
            value.kind = Value::Integer;
        } else if (data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            // Binary and other typed data: kept as written, continuation lines included.
            value.kind = Value::Other;
            value.raw = data;
            while (value.raw.trimmed().endsWith('\\') && n + 1 < lines.size()) {
                value.raw += '\n' + lines[++n];
            }
        } else {
            return false;
        }
        if (Value* existing = Find(value.name)) {
            value.name = existing->name;
            *existing = value;
        } else {
            values.push_back(value);
        }
    }
    // An empty file is a key that was never written; anything else needs the header.
    return seenHeader || text.trimmed().isEmpty();
}

bool SettingsKey::Data::Save() const {
    QString text = QLatin1String(kHeader) + "\n\n" + QLatin1String(kSection) + '\n';
    for (const Value& v : values) {
        text += '"' + Escape(v.name) + "\"=";
        switch (v.kind) {
        case Value::Integer:
            text += QString::asprintf("dword:%08x", static_cast<uint32_t>(v.integer));
            break;
        case Value::String:
            text += '"' + Escape(v.text) + '"';
            break;
        case Value::Other:
            text += v.raw;
            break;
        }
        text += '\n';
    }
    text += '\n';
    QDir().mkpath(QFileInfo(path).absolutePath());
    return SaveFileAtomically(path, text.toUtf8());
}

QString SettingsKey::FilePath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + "/.config";
    return QDir::cleanPath(config + "/quilltranslation/settings.reg");
}

std::unique_ptr<SettingsKey> SettingsKey::Open() {
    auto data = std::make_shared<Data>();
    data->path = FilePath();
    const QFileInfo info(data->path);
    if (!info.exists()) {
        if (!QDir().mkpath(info.absolutePath()) || !data->Save())
            return nullptr;
    } else if (!data->Load()) {
        return nullptr;
    }
    std::unique_ptr<SettingsKey> key(new SettingsKey);
    key->d_ = std::move(data);
    return key;
}

bool SettingsKey::ValueExists(const QString& name) const {
    return d_->Find(name) != nullptr;
}

int32_t SettingsKey::ReadInteger(const QString& name) const {
    const Value* v = d_->Find(name);
    if (!v)
        return 0;
    if (v->kind != Value::Integer)
        throw ESettingsError(QString("Invalid data type for '%1'").arg(name));
    return v->integer;
}

QString SettingsKey::ReadString(const QString& name) const {
    const Value* v = d_->Find(name);
    if (!v)
        return QString();
    if (v->kind != Value::String)
        throw ESettingsError(QString("Invalid data type for '%1'").arg(name));
    return v->text;
}

bool SettingsKey::Data::Write(const QString& name, Value value) {
    // Start from the file as it is now, so values written by another running
    // copy survive; a file that has become unreadable is left alone.
    std::vector<Value> before = values;
    if (QFileInfo::exists(path)) {
        if (!Load()) {
            values = std::move(before);
            return false;
        }
        before = values;
    }
    if (Value* existing = Find(name)) {
        value.name = existing->name;
        *existing = std::move(value);
    } else {
        value.name = name;
        values.push_back(std::move(value));
    }
    if (Save())
        return true;
    values = std::move(before);
    return false;
}

bool SettingsKey::WriteInteger(const QString& name, int32_t value) {
    Value v;
    v.kind = Value::Integer;
    v.integer = value;
    return d_->Write(name, std::move(v));
}

bool SettingsKey::WriteString(const QString& name, const QString& value) {
    Value v;
    v.kind = Value::String;
    v.text = value;
    return d_->Write(name, std::move(v));
}
