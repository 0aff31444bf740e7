#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <vector>

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and QUILLMATE_DATA_DIR at a fresh
// temporary folder for the life of the object, so no test touches the real
// user's files. The previous values come back on destruction.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    QString path() const { return dir_.path(); }
    QString configDir() const { return dir_.path() + "/config"; }
    QString dataDir() const { return dir_.path() + "/data/quillmate"; }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QTemporaryDir dir_;
    std::vector<Saved> saved_;
};
