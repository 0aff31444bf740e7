#include "base/Settings.h"

#include "base/Files.h"
#include "base/SettingsText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

ESettingsError::ESettingsError(const QString& message)
    : std::runtime_error(message.toStdString()) {}

struct SettingsKey::Data {
    QString path;
    SettingsValues values;

    bool Load();
    bool Save() const;
    bool Write(const QString& name, SettingsValue value);
};

bool SettingsKey::Data::Load() {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return file.error() == QFileDevice::NoError && ParseSettingsText(bytes, values);
}

bool SettingsKey::Data::Save() const {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return SaveFileAtomically(path, WriteSettingsText(values));
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
    return FindSetting(d_->values, name) != nullptr;
}

int32_t SettingsKey::ReadInteger(const QString& name) const {
    const SettingsValue* v = FindSetting(d_->values, name);
    if (!v)
        return 0;
    if (v->kind != SettingsValue::Integer)
        throw ESettingsError(QString("Invalid data type for '%1'").arg(name));
    return v->integer;
}

QString SettingsKey::ReadString(const QString& name) const {
    const SettingsValue* v = FindSetting(d_->values, name);
    if (!v)
        return QString();
    if (v->kind != SettingsValue::String)
        throw ESettingsError(QString("Invalid data type for '%1'").arg(name));
    return v->text;
}

bool SettingsKey::Data::Write(const QString& name, SettingsValue value) {
    // Start from the file as it is now, so values written by another running
    // copy survive; a file that has become unreadable is left alone.
    SettingsValues before = values;
    if (QFileInfo::exists(path)) {
        if (!Load()) {
            values = std::move(before);
            return false;
        }
        before = values;
    }
    if (SettingsValue* existing = FindSetting(values, name)) {
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
    SettingsValue v;
    v.kind = SettingsValue::Integer;
    v.integer = value;
    return d_->Write(name, std::move(v));
}

bool SettingsKey::WriteString(const QString& name, const QString& value) {
    SettingsValue v;
    v.kind = SettingsValue::String;
    v.text = value;
    return d_->Write(name, std::move(v));
}
