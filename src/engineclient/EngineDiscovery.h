#pragma once

#include <QString>

// Named apart from the translation chain's EngineSettings: the command line
// links both, and two classes of one name make one program use the wrong
// layout for the other's copies.
struct LocalEngineSettings {
    QString program; // the quillmate-server executable
    // The private folder the engine's socket and published address live in.
    // When it is not private (or empty) the engine gets a fresh folder of its
    // own and is not shared.
    QString runtimeFolder;
    int idleExitSeconds = 600;
    int startTimeoutMs = 15000;
};

struct FoundEngine {
    QString baseUrl;    // "http://localhost/TOKEN/"; empty on failure
    QString socketPath; // the Unix socket every request goes through
    qint64 pid = -1;
    QString error;
};

// Blocking: reuses the engine this user's programs published when it is
// still proven theirs and answers, else starts a new one on a Unix socket in
// the folder with a fresh token (passed on its standard input) and publishes
// it (a file only this user can read). Takes a lock in the folder, so two
// programs starting at once share one engine.
FoundEngine FindOrStartEngine(const LocalEngineSettings& settings);

// quillmate-server beside the running program ($QUILLMATE_SERVER overrides),
// the same in the build tree and in an installed layout.
QString DefaultServerProgram();
// The user's private runtime folder (see base/PrivateFolder.h).
QString DefaultRuntimeFolder();
