#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <memory>
#include <vector>

// One part of a multipart/form-data body. A part with an object and a
// non-empty file name is a file part; every other part is a text part.
struct TIdFormDataField {
    QByteArray FieldValue;
    QByteArray FileName;
    QByteArray ContentType;
    QByteArray FieldName;
    QIODevice* FieldObject = nullptr;
    bool OwnsObject = true;
    // The file's size when the part was added: the body never carries more, so
    // the announced total stays true even if the file grows meanwhile.
    qint64 FileSize = 0;

    bool IsFile() const { return FieldObject && !FileName.isEmpty(); }
    // Everything of the part before its content.
    QByteArray HeaderText(const QByteArray& boundary) const;
    qint64 PartSize(const QByteArray& boundary) const;

    TIdFormDataField() = default;
    TIdFormDataField(const TIdFormDataField&) = delete;
    TIdFormDataField& operator=(const TIdFormDataField&) = delete;
    ~TIdFormDataField();
};

using TIdFormDataFields = std::vector<std::unique_ptr<TIdFormDataField>>;

// A multipart/form-data body produced on demand: text parts from memory, file
// contents straight from their open files. Only reading and rewinding to the
// start are supported; writing fails with "Unsupported operation.".
class TIdMultiPartFormDataStream : public QIODevice {
public:
    // The boundary is "--------" + mmddyyhhnnsszzz of the local time of creation.
    TIdMultiPartFormDataStream();
    // A fixed moment, so a body can be reproduced byte for byte.
    explicit TIdMultiPartFormDataStream(const QDateTime& created);
    ~TIdMultiPartFormDataStream() override;

    static QByteArray BoundaryFor(const QDateTime& created);

    const QByteArray& Boundary() const { return boundary_; }
    const TIdFormDataFields& Fields() const { return fields_; }

    void AddTextField(const QByteArray& name, const QByteArray& value);
    // False (and no part added) when the file cannot be opened for reading. An
    // empty content type is looked up by the file's extension.
    bool AddFileField(const QByteArray& name, const QString& path, const QByteArray& contentType);

    // The content type for a file's extension, "application/octet-stream" when unknown.
    static QByteArray ContentTypeForExtension(const QString& path);

    enum Origin { soBeginning, soCurrent, soEnd };
    // Stream-style seek: offset 0 from the beginning rewinds; every other request
    // moves nothing and reports the position (from the end: the total size).
    qint64 Seek(qint64 offset, Origin origin);

    qint64 size() const override { return size_; }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    void Rewind();
    void SetPending(QByteArray bytes);

    QByteArray boundary_;
    TIdFormDataFields fields_;
    qint64 size_ = 0;
    // Reading state: the part being produced, its pending header (or text) bytes,
    // whether its file content is being copied, and the trailing CR LF still due.
    size_t partIndex_ = 0;
    QByteArray pending_;
    qsizetype pendingPos_ = 0;
    std::vector<QByteArray> queued_; // shared, not copied: a value can be large
    bool copyingFile_ = false;
    qint64 fileLeft_ = 0;
    bool closingDone_ = false;
};
