#include "ocr/OcrCapture.h"

#include "base/Files.h"
#include "engineclient/LocalEngine.h"
#include "ocr/OcrPicture.h"
#include "ocr/ScreenCapture.h"
#include "storage/FileStorage.h"

#include <QImageReader>

Endpoint OcrEndpoint(OcrEngine engine) {
    return engine == OcrEngine::Two ? Endpoint::Ocr2 : Endpoint::Ocr1;
}

OcrCapture::OcrCapture(QString folder, TFileStorage* storage)
    : folder_(std::move(folder)), storage_(storage) {}

QString OcrCapture::PicturePath() const {
    // Without a folder the path would point at the file system's root.
    return folder_.isEmpty() ? QString() : folder_ + '/' + QLatin1String(kPictureName);
}

void OcrCapture::PrepareEngine(OcrEngine engine) {
    if (UsesLocalEngine(OcrEndpoint(engine)))
        LocalEngine::Instance().Prepare();
}

bool OcrCapture::CaptureScreen() {
    if (folder_.isEmpty())
        return false;
    const auto extract = [this](const QString& path) {
        if (storage_)
            storage_->ExtractFile(QString::fromLatin1(kLibraryName), path);
    };
    return CaptureScreenRegion(folder_ + '/' + QLatin1String(kLibraryName), PicturePath(),
                               extract) == CaptureResult::Captured;
}

bool OcrCapture::TakePictureFile(const QString& source, QString& error) {
    QImageReader reader(source);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        error = QStringLiteral("无法读取图片：") + source + QStringLiteral("（") +
                reader.errorString() + QStringLiteral("）");
        return false;
    }
    const QString picture = PicturePath();
    const QByteArray jpeg = EncodeJpeg(PrepareOcrCanvas(image));
    if (picture.isEmpty() || jpeg.isEmpty() || !SaveFileAtomically(picture, jpeg)) {
        error = QStringLiteral("无法保存图片：") + picture;
        return false;
    }
    return true;
}
