#include "base/Preferences.h"

std::unique_ptr<Preferences> Preferences::Open() {
    std::unique_ptr<SettingsKey> key = SettingsKey::Open();
    if (!key)
        return nullptr;
    return std::unique_ptr<Preferences>(new Preferences(std::move(key)));
}

bool Preferences::Has(const IntPreference& p) const {
    return key_->ValueExists(QLatin1String(p.name));
}

bool Preferences::Has(const TextPreference& p) const {
    return key_->ValueExists(QLatin1String(p.name));
}

int32_t Preferences::Read(const IntPreference& p) const {
    return Has(p) ? key_->ReadInteger(QLatin1String(p.name)) : p.fallback;
}

QString Preferences::Read(const TextPreference& p) const {
    return Has(p) ? key_->ReadString(QLatin1String(p.name)) : QString::fromUtf8(p.fallback);
}

bool Preferences::Write(const IntPreference& p, int32_t value) {
    return key_->WriteInteger(QLatin1String(p.writtenAs ? p.writtenAs : p.name), value);
}

bool Preferences::Write(const TextPreference& p, const QString& value) {
    return key_->WriteString(QLatin1String(p.name), value);
}

int32_t Preferences::Get(const IntPreference& p) {
    const std::unique_ptr<Preferences> prefs = Open();
    try {
        return prefs ? prefs->Read(p) : p.fallback;
    } catch (const ESettingsError&) {
        return p.fallback;
    }
}

QString Preferences::Get(const TextPreference& p) {
    const std::unique_ptr<Preferences> prefs = Open();
    try {
        return prefs ? prefs->Read(p) : QString::fromUtf8(p.fallback);
    } catch (const ESettingsError&) {
        return QString::fromUtf8(p.fallback);
    }
}
