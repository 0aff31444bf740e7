#include "ocr/IdMultipartFormData.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

struct ExtensionType {
    const char* extension;
    const char* type;
};

// Enough for what a form upload usually carries; callers that know better pass
// their own type.
constexpr ExtensionType kExtensionTypes[] = {
    {"bmp", "image/bmp"},         {"gif", "image/gif"},       {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},        {"png", "image/png"},       {"tif", "image/tiff"},
    {"tiff", "image/tiff"},       {"webp", "image/webp"},     {"txt", "text/plain"},
    {"htm", "text/html"},         {"html", "text/html"},      {"xml", "text/xml"},
    {"json", "application/json"}, {"pdf", "application/pdf"}, {"zip", "application/zip"},
    {"mp3", "audio/mpeg"},
};

} // namespace

QByteArray TIdFormDataField::HeaderText(const QByteArray& boundary) const {
    QByteArray text =
        "--" + boundary + kCrLf + "Content-Disposition: form-data; name=\"" + FieldName + "\"";
    if (IsFile()) {
        text += "; filename=\"" + FileName + "\"" + kCrLf + "Content-Type: " + ContentType + kCrLf +
                "Content-Transfer-Encoding: binary" + kCrLf + kCrLf;
    } else {
        text += kCrLf + kCrLf;
    }
    return text;
}

qint64 TIdFormDataField::PartSize(const QByteArray& boundary) const {
    const qint64 content = IsFile() ? FileSize : FieldValue.size();
    return HeaderText(boundary).size() + content + kCrLf.size();
}

TIdFormDataField::~TIdFormDataField() {
    if (OwnsObject)
        delete FieldObject;
}

TIdMultiPartFormDataStream::TIdMultiPartFormDataStream()
    : TIdMultiPartFormDataStream(QDateTime::currentDateTime()) {}

TIdMultiPartFormDataStream::TIdMultiPartFormDataStream(const QDateTime& created)
    : boundary_(BoundaryFor(created)) {
    // Opened for writing too, so that a write reaches writeData and fails with
    // our message instead of Qt's generic one.
    open(QIODevice::ReadWrite | QIODevice::Unbuffered);
    size_ = QByteArray("--" + boundary_ + "--" + kCrLf).size();
}

TIdMultiPartFormDataStream::~TIdMultiPartFormDataStream() = default;

QByteArray TIdMultiPartFormDataStream::BoundaryFor(const QDateTime& created) {
    return "--------" +
           created.toLocalTime().toString(QStringLiteral("MMddyyHHmmsszzz")).toLatin1();
}

void TIdMultiPartFormDataStream::AddTextField(const QByteArray& name, const QByteArray& value) {
    auto field = std::make_unique<TIdFormDataField>();
    field->FieldName = name;
    field->FieldValue = value;
    size_ += field->PartSize(boundary_);
    fields_.push_back(std::move(field));
}

bool TIdMultiPartFormDataStream::AddFileField(const QByteArray& name, const QString& path,
                                              const QByteArray& contentType) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        setErrorString(file->errorString());
        return false;
    }
    auto field = std::make_unique<TIdFormDataField>();
    field->FieldName = name;
    field->FileName = QFileInfo(path).fileName().toLocal8Bit();
    field->ContentType = contentType.isEmpty() ? ContentTypeForExtension(path) : contentType;
    field->FileSize = file->size();
    field->FieldObject = file.release();
    field->OwnsObject = true;
    size_ += field->PartSize(boundary_);
    fields_.push_back(std::move(field));
    return true;
}

QByteArray TIdMultiPartFormDataStream::ContentTypeForExtension(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    for (const ExtensionType& row : kExtensionTypes)
        if (extension == QLatin1String(row.extension))
            return row.type;
    return "application/octet-stream";
}

void TIdMultiPartFormDataStream::SetPending(QByteArray bytes) {
    pending_ = std::move(bytes);
    pendingPos_ = 0;
}

void TIdMultiPartFormDataStream::Rewind() {
    partIndex_ = 0;
    pending_.clear();
    pendingPos_ = 0;
    queued_.clear();
    copyingFile_ = false;
    fileLeft_ = 0;
    closingDone_ = false;
}

bool TIdMultiPartFormDataStream::seek(qint64 pos) {
    if (pos != 0)
        return false;
    Rewind();
    return QIODevice::seek(0);
}

qint64 TIdMultiPartFormDataStream::Seek(qint64 offset, Origin origin) {
    if (origin == soBeginning && offset == 0) {
        seek(0);
        return 0;
    }
    return origin == soEnd ? size_ : pos();
}

qint64 TIdMultiPartFormDataStream::readData(char* data, qint64 maxSize) {
    qint64 done = 0;
    while (done < maxSize) {
        if (pendingPos_ < pending_.size()) {
            const qint64 n = std::min<qint64>(maxSize - done, pending_.size() - pendingPos_);
            std::memcpy(data + done, pending_.constData() + pendingPos_, static_cast<size_t>(n));
            pendingPos_ += n;
            done += n;
            continue;
        }
        if (!queued_.empty()) {
            SetPending(queued_.front());
            queued_.erase(queued_.begin());
            continue;
        }
        if (copyingFile_) {
            QIODevice* file = fields_[partIndex_]->FieldObject;
            const qint64 got =
                fileLeft_ > 0 ? file->read(data + done, std::min(maxSize - done, fileLeft_)) : 0;
            if (got > 0) {
                fileLeft_ -= got;
                done += got;
                continue;
            }
            // A file that shrank since it was added yields fewer bytes; the
            // part still ends properly.
            copyingFile_ = false;
            ++partIndex_;
            SetPending(kCrLf);
            continue;
        }
        if (partIndex_ < fields_.size()) {
            const TIdFormDataField& field = *fields_[partIndex_];
            if (field.IsFile()) {
                SetPending(field.HeaderText(boundary_));
                field.FieldObject->seek(0);
                fileLeft_ = field.FileSize;
                copyingFile_ = true;
            } else {
                SetPending(field.HeaderText(boundary_));
                queued_ = {field.FieldValue, kCrLf};
                ++partIndex_;
            }
            continue;
        }
        if (!closingDone_) {
            closingDone_ = true;
            SetPending("--" + boundary_ + "--" + kCrLf);
            continue;
        }
        break;
    }
    return done;
}

qint64 TIdMultiPartFormDataStream::writeData(const char*, qint64) {
    setErrorString(QStringLiteral("Unsupported operation."));
    return -1;
}
