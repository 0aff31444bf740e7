#include "app/CursorFiles.h"

#include "storage/FileStorage.h"
#include "toolkit/CursorTable.h"

#include <QFileInfo>

void InstallCursorFiles(TFileStorage* storage, const QString& folder) {
    // Without a data folder the paths would point at the file system's root; an
    // empty path loads nothing, so the slots stay empty.
    const auto pathOf = [&folder](const char* name) {
        return folder.isEmpty() ? QString() : folder + '/' + QLatin1String(name);
    };
    static const char* const names[] = {"appstarting.ani", "arrow.ani"};
    for (const char* name : names) {
        const QString path = pathOf(name);
        if (!path.isEmpty() && !QFileInfo::exists(path) && storage)
            storage->ExtractFile(QLatin1String(name), path);
    }
    LoadCursorSlot(crAnimatedBusy, pathOf("appstarting.ani"));
    LoadCursorSlot(crAnimatedArrow, pathOf("arrow.ani"));
}
