#include "feedback/InstallationId.h"

#include "base/Settings.h"

#include <QUuid>

namespace {
const char* const kValueName = "InstallationID";
}

bool IsInstallationIdentifier(const QByteArray& text) {
    if (text.size() != 32)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

QByteArray InstallationIdentifier() {
    static QByteArray sessionOnly;
    std::unique_ptr<SettingsKey> key = SettingsKey::Open();
    if (key && key->ValueExists(kValueName)) {
        try {
            const QByteArray stored = key->ReadString(kValueName).toLatin1();
            if (IsInstallationIdentifier(stored))
                return stored;
        } catch (const ESettingsError&) {
            // A value of the wrong type is replaced below.
        }
    }
    const QByteArray made = QUuid::createUuid().toByteArray(QUuid::Id128);
    if (key && key->WriteString(kValueName, QString::fromLatin1(made)))
        return made;
    if (sessionOnly.isEmpty())
        sessionOnly = made;
    return sessionOnly;
}
