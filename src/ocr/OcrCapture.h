#pragma once

#include "base/Endpoints.h"
#include "ocr/OcrRequest.h"

#include <QString>

class TFileStorage;

// The endpoint that serves an engine: engine two's for engine two, else
// engine one's.
Endpoint OcrEndpoint(OcrEngine engine);

// Recognition's capture step, the same for the window and the command line:
// the picture "ocr.jpg" in a folder of the program's, made from a region of
// the screen by the capture library "PrScrn.dll" (extracted from the
// program's stored files when the folder has none), or from a picture file.
// The recognition service then sends PicturePath().
class OcrCapture {
public:
    static constexpr char kLibraryName[] = "PrScrn.dll";
    static constexpr char kPictureName[] = "ocr.jpg";

    // folder holds the library and the picture (the window's data folder);
    // storage, when given, is where a missing library comes from.
    explicit OcrCapture(QString folder, TFileStorage* storage = nullptr);

    // Empty when there is no folder.
    QString PicturePath() const;

    // Starts the local engine now when it serves engine, so it is up by the
    // time the user has chosen a region. Never waits.
    static void PrepareEngine(OcrEngine engine);

    // One run of the capture library (it returns when the user is done); true
    // when a fresh picture was written. Without a folder nothing runs.
    bool CaptureScreen();

    // A picture file in any format Qt reads, prepared as a captured region
    // is. False, with error set, when it cannot be read or the picture cannot
    // be written.
    bool TakePictureFile(const QString& source, QString& error);

private:
    QString folder_;
    TFileStorage* storage_;
};
