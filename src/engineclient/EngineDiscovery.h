#pragma once

#include <QString>

struct EngineSettings {
    QString program;       // the quillmate-server executable
    QString runtimeFolder; // where the running engine is published; empty: not shared
    int idleExitSeconds = 600;
    int startTimeoutMs = 15000;
};

struct FoundEngine {
    QString baseUrl; // "http://127.0.0.1:PORT/TOKEN/"; empty on failure
    qint64 pid = -1;
    QString error;
};

// Blocking: reuses the engine this user's programs published when it still
// answers, else starts a new one on loopback with a fresh token and
// publishes it (a file only this user can read). Takes a lock in the folder,
// so two programs starting at once share one engine.
FoundEngine FindOrStartEngine(const EngineSettings& settings);

// quillmate-server beside the running program ($QUILLMATE_SERVER overrides),
// the same in the build tree and in an installed layout.
QString DefaultServerProgram();
// $XDG_RUNTIME_DIR/quillmate, or a private folder in the temporary folder.
QString DefaultRuntimeFolder();
