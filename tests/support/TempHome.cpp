#include "TempHome.h"

namespace {
const char* const kNames[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "QUILLMATE_DATA_DIR"};
}

TempHome::TempHome() {
    for (const char* name : kNames)
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
    const QString root = dir_.path();
    QDir(root).mkpath("config");
    QDir(root).mkpath("data");
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (root + "/data").toUtf8());
    qputenv("QUILLMATE_DATA_DIR", (root + "/data/quillmate").toUtf8());
}
TempHome::~TempHome() {
    for (const auto& s : saved_) {
        if (s.wasSet)
            qputenv(s.name, s.value);
        else
            qunsetenv(s.name);
    }
}
