#include "feedback/InstallationId.h"

#include "base/Preferences.h"

#include <QUuid>

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
    std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (prefs && prefs->Has(pref::InstallationId)) {
        try {
            const QByteArray stored = prefs->Read(pref::InstallationId).toLatin1();
            if (IsInstallationIdentifier(stored))
                return stored;
        } catch (const ESettingsError&) {
            // A value of the wrong type is replaced below.
        }
    }
    const QByteArray made = QUuid::createUuid().toByteArray(QUuid::Id128);
    if (prefs && prefs->Write(pref::InstallationId, QString::fromLatin1(made)))
        return made;
    if (sessionOnly.isEmpty())
        sessionOnly = made;
    return sessionOnly;
}
