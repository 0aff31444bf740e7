#include "keyring/KeyKeeper.h"

#include "base/Preferences.h"
#include "keyring/SecretService.h"

#include <QCoreApplication>
#include <QFile>
#include <QThreadPool>
#include <algorithm>

struct KeyKeeper::Shared {};

namespace {

using Keys = KeyKeeper::Keys;

QString NameOf(const TextPreference& value) {
    return QString::fromLatin1(value.name);
}

// The settings file's key; empty when it holds none (or one of the wrong type).
QString FileKey(const Preferences* prefs, const TextPreference& value) {
    if (!prefs)
        return {};
    try {
        return prefs->Read(value).trimmed();
    } catch (const ESettingsError&) {
        return {};
    }
}

// The settings file's keys, and the values it holds none for.
Keys KeysInFile(const QList<const TextPreference*>& values, QStringList& missing) {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    Keys keys;
    for (const TextPreference* value : values) {
        const QString key = FileKey(prefs.get(), *value);
        keys.insert(NameOf(*value), key);
        if (key.isEmpty())
            missing << NameOf(*value);
    }
    return keys;
}

bool LookUp(const QStringList& names, Keys& keys) {
    bool found = false;
    for (const QString& name : names) {
        const std::optional<QString> key = secretservice::Lookup(name);
        if (!key)
            break; // no service: the others would fail alike
        if (!key->isEmpty()) {
            keys.insert(name, *key);
            found = true;
        }
    }
    return found;
}

// Runs `job` on a worker, then `then` with its result on the main thread.
template <typename Result>
void OnWorker(std::function<Result()> job, std::function<void(const Result&)> then) {
    QThreadPool::globalInstance()->start([job = std::move(job), then = std::move(then)] {
        Result result = job();
        // The application outlives the pool's workers: it waits for them.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [then, result = std::move(result)] { then(result); },
            Qt::QueuedConnection);
    });
}

// Writes the keys into the settings file, which first becomes the user's alone.
bool WriteToFile(const QList<QPair<const TextPreference*, QString>>& keys) {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (!prefs || !RestrictSettingsFile())
        return false;
    bool written = true;
    for (const auto& [value, key] : keys)
        if (!key.isEmpty() || prefs->Has(*value))
            written = prefs->Write(*value, key) && written;
    return written;
}

// Removes the keys from the settings file: the secret service holds them.
bool RemoveFromFile(const QList<QPair<const TextPreference*, QString>>& keys) {
    const std::unique_ptr<Preferences> prefs = Preferences::Open();
    if (!prefs)
        return false;
    bool removed = true;
    for (const auto& pair : keys)
        if (prefs->Has(*pair.first) && !FileKey(prefs.get(), *pair.first).isEmpty())
            removed = prefs->Write(*pair.first, QString()) && removed;
    return removed;
}

} // namespace

KeyKeeper::KeyKeeper(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {}

// Answers still on their way are dropped with the shared state.
KeyKeeper::~KeyKeeper() = default;

void KeyKeeper::Read(const QList<const TextPreference*>& values,
                     std::function<void(const Keys& keys, bool fromSecretService)> done) {
    QStringList missing;
    Keys keys = KeysInFile(values, missing);
    using Found = QPair<Keys, bool>;
    std::weak_ptr<Shared> keeper = shared_;
    OnWorker<Found>(
        [keys, missing]() mutable {
            const bool found = !missing.isEmpty() && LookUp(missing, keys);
            return Found(keys, found);
        },
        [keeper, done = std::move(done)](const Found& found) {
            if (keeper.lock())
                done(found.first, found.second);
        });
}

void KeyKeeper::Write(const QList<QPair<const TextPreference*, QString>>& keys,
                      std::function<void(KeyPlace place)> done) {
    QList<QPair<const TextPreference*, QString>> trimmed;
    for (const auto& [value, key] : keys)
        trimmed.append({value, key.trimmed()});
    const bool anyKey = std::any_of(trimmed.begin(), trimmed.end(),
                                    [](const auto& pair) { return !pair.second.isEmpty(); });
    std::weak_ptr<Shared> keeper = shared_;
    OnWorker<bool>(
        [trimmed] {
            bool stored = true;
            for (const auto& [value, key] : trimmed) {
                if (key.isEmpty())
                    secretservice::Clear(NameOf(*value)); // none running: nothing kept there
                else
                    stored = stored && secretservice::Store(NameOf(*value), key);
            }
            return stored;
        },
        // The files are seen to even when the keeper has gone meanwhile.
        [keeper, trimmed, anyKey, done = std::move(done)](const bool& stored) {
            KeyPlace place = KeyPlace::Failed;
            if (!anyKey || stored) {
                // A copy left in the file would be read first.
                if (RemoveFromFile(trimmed))
                    place = anyKey ? KeyPlace::SecretService : KeyPlace::NoKeys;
            } else if (WriteToFile(trimmed)) {
                place = KeyPlace::SettingsFile;
            }
            if (keeper.lock())
                done(place);
        });
}

KeyKeeper::Keys KeyKeeper::ReadNow(const QList<const TextPreference*>& values) {
    QStringList missing;
    Keys keys = KeysInFile(values, missing);
    if (!missing.isEmpty())
        LookUp(missing, keys);
    return keys;
}

bool RestrictSettingsFile() {
    return QFile::setPermissions(SettingsKey::FilePath(), QFile::ReadOwner | QFile::WriteOwner);
}
