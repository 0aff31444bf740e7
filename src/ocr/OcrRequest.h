#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The two recognition engines, by the tag of their menu item.
enum class OcrEngine { None = 0, One = 1, Two = 2 };

// The request of one recognition upload: the two header lines and the whole
// multipart body. ok is false when the picture could not be read; then nothing
// is to be sent.
struct OcrUploadRequest {
    bool ok = false;
    QString error;
    QStringList headers;
    QByteArray body;
};

// Engine one gets the picture as a base64 data URL in "imgBase" plus "lang" and
// "company"; engine two gets the file itself in "image" plus "from" (fromCode)
// and "to". created fixes the boundary's moment.
OcrUploadRequest BuildOcrUpload(OcrEngine engine, const QString& imagePath, const QString& fromCode,
                                const QDateTime& created = QDateTime::currentDateTime());
