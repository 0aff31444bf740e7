#pragma once

#include <QString>
#include <functional>

// How one capture ended. Everything but Captured means: no new picture, no upload.
enum class CaptureResult {
    Captured,      // the picture was written
    LibraryFailed, // the capture library could not be loaded
    ExportMissing, // it has no "PrScrn"
    NothingChosen, // cancelled: no picture on the clipboard afterwards
    WriteFailed,   // the picture could not be written (a full disk, say)
};

// One run of the capture library: extracts it with extractLibrary when no file
// is at libraryPath, loads it, empties the clipboard, calls its "PrScrn" (which
// returns when the user is done), and writes the clipboard picture, prepared
// for the engines, as a JPEG to jpegPath. The library is unloaded again on
// every path after a successful load.
CaptureResult CaptureScreenRegion(const QString& libraryPath, const QString& jpegPath,
                                  const std::function<void(const QString& path)>& extractLibrary);
