#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

struct TextPreference;

// Where keys were put.
enum class KeyPlace {
    SecretService, // the desktop's secret service
    SettingsFile,  // the settings file, made readable by the user alone
    NoKeys,        // every key was empty: none is kept
    Failed,        // neither could take them
};

// The engines' keys, kept under their settings values' names: by the
// desktop's secret service where one answers, else in the settings file,
// which is then the user's alone (0600). A key in the settings file comes
// first when reading. The secret service is asked on a worker; the results
// arrive on the thread of the keeper, never from inside the call, and never
// after the keeper is gone.
class KeyKeeper : public QObject {
public:
    using Keys = QHash<QString, QString>; // settings value's name -> key

    explicit KeyKeeper(QObject* parent = nullptr);
    ~KeyKeeper() override;

    // The keys of these values ("" where none is kept). `fromSecretService`
    // tells whether any came from there.
    void Read(const QList<const TextPreference*>& values,
              std::function<void(const Keys& keys, bool fromSecretService)> done);
    // Keeps the keys; an empty one is removed from both places.
    void Write(const QList<QPair<const TextPreference*, QString>>& keys,
               std::function<void(KeyPlace place)> done);

    // The same as Read, waiting for the answer (the command line).
    static Keys ReadNow(const QList<const TextPreference*>& values);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

// Makes the settings file readable and writable by the user alone; false
// when that fails (the file is then not to hold a key).
bool RestrictSettingsFile();
