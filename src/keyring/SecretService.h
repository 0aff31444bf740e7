#pragma once

#include <QString>
#include <optional>

// The desktop's secret service (org.freedesktop.secrets) through libsecret,
// which is opened at the first call. Every call blocks until the service has
// answered (or may ask the user to unlock the keyring): call them from a
// worker where a window waits. Calls are serialised; any thread.
namespace secretservice {

// The secret stored for a settings value's name: empty when there is none;
// nothing when no secret service answered (none runs, or libsecret is missing).
std::optional<QString> Lookup(const QString& name);
// Stores the secret, replacing the one before. False when no service took it.
bool Store(const QString& name, const QString& secret);
// Removes it; true also when there was none.
bool Clear(const QString& name);

} // namespace secretservice
