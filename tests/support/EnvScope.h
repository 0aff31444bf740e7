#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <sys/stat.h>
#include <vector>

// Environment variables changed for the life of the object; each comes back
// as it was, in reverse order, on destruction.
class EnvScope {
public:
    EnvScope() = default;
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;
    ~EnvScope() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->value)
                qputenv(it->name, *it->value);
            else
                qunsetenv(it->name);
        }
    }

    void Set(const char* name, const QByteArray& value) {
        Save(name);
        qputenv(name, value);
    }
    void Unset(const char* name) {
        Save(name);
        qunsetenv(name);
    }

private:
    struct Saved {
        const char* name;
        std::optional<QByteArray> value;
    };
    void Save(const char* name) {
        saved_.push_back(
            {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
    }
    std::vector<Saved> saved_;
};

// A private runtime folder of the test's own (XDG_RUNTIME_DIR): the engines'
// rests and the program's sockets stay out of the user's.
class PrivateRuntime {
public:
    PrivateRuntime() {
        ::chmod(QFile::encodeName(dir_.path()).constData(), 0700);
        env_.Set("XDG_RUNTIME_DIR", QFile::encodeName(dir_.path()));
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    EnvScope env_;
};
