#include "speech/Mp3Playback.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

namespace {

QStringList ModuleFolders() {
    QStringList folders;
    const QString app = QCoreApplication::applicationDirPath();
    if (!app.isEmpty())
        folders << app << app + QStringLiteral("/../lib/quillmate");
    // Test programs live elsewhere in the build tree; ctest names the folder.
    const QString chosen = qEnvironmentVariable("QUILLMATE_MODULE_DIR");
    if (!chosen.isEmpty())
        folders << chosen;
    return folders;
}

struct Loaded {
    Mp3PlayFunction play = nullptr;
    QString error;
};

Loaded Load() {
    Loaded result;
    for (const QString& folder : ModuleFolders()) {
        // Never unloaded: players made by it live until the program ends.
        QLibrary library(folder + '/' + QLatin1String(kMp3ModuleName));
        if (!library.load()) {
            result.error = library.errorString();
            continue;
        }
        result.play = reinterpret_cast<Mp3PlayFunction>(library.resolve(kMp3PlaySymbol));
        if (result.play)
            return result;
        result.error = library.errorString();
    }
    return result;
}

} // namespace

Mp3PlayFunction LoadMp3Playback(QString* errorText) {
    // Loaded on the UI thread, once; a failed load is not retried.
    static const Loaded loaded = Load();
    if (errorText)
        *errorText = loaded.error;
    return loaded.play;
}
