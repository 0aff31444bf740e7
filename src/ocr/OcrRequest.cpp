#include "ocr/OcrRequest.h"

#include "ocr/IdMultipartFormData.h"
#include "ocr/mybase64.h"

#include <QFile>
#include <QFileInfo>

namespace {

// "image/" + the extension as it is: the engine expects "image/jpg".
QByteArray ImageContentType(const QString& path) {
    return "image/" + QFileInfo(path).suffix().toLatin1();
}

} // namespace

OcrUploadRequest BuildOcrUpload(OcrEngine engine, const QString& imagePath, const QString& fromCode,
                                const QDateTime& created) {
    OcrUploadRequest request;
    TIdMultiPartFormDataStream body(created);
    request.headers << QStringLiteral("Content-Type: multipart/form-data; boundary=") +
                           QString::fromLatin1(body.Boundary())
                    << QStringLiteral("Expect: 100-continue");
    if (engine == OcrEngine::One) {
        // Readable up front: a missing picture must not go out as an empty one.
        QFile probe(imagePath);
        if (!probe.open(QIODevice::ReadOnly)) {
            request.error = probe.errorString();
            return request;
        }
        probe.close();
        body.AddTextField("imgBase", "data:image/jpeg;base64," + ReadFileAsBase64(imagePath));
        body.AddTextField("lang", "auto");
        body.AddTextField("company", QByteArray());
    } else if (engine == OcrEngine::Two) {
        if (!body.AddFileField("image", imagePath, ImageContentType(imagePath))) {
            request.error = body.errorString();
            return request;
        }
        body.AddTextField("from", fromCode.toLatin1());
        body.AddTextField("to", "en");
    }
    body.seek(0);
    request.body.reserve(static_cast<qsizetype>(body.size()));
    request.body = body.read(body.size());
    request.ok = request.body.size() == body.size();
    if (!request.ok)
        request.error = QStringLiteral("The picture changed while it was being read.");
    return request;
}
