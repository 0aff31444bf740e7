#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Size in bytes of the file at path, or -1 when there is none (or it does not
// fit a signed 32-bit number).
int32_t FileSizeOf(const QString& path);

// Deletes every file whose extension equals `extension` (without regard to case;
// a missing dot is added; ".*" matches all) in folder and its subfolders. Files
// visited are made owner read/write first, subfolders owner read/write/search.
// Symbolic links are never followed. Stops at the first failure; true when
// nothing failed. Folders are never removed.
bool DeleteFilesWithExtension(const QString& folder, const QString& extension);

// Replaces the file at path with bytes through a temporary file and a rename,
// so a crash or a full disk leaves the previous file as it was. Checks every
// step itself: QSaveFile::commit() alone can report success for a short write.
bool SaveFileAtomically(const QString& path, QByteArrayView bytes);
