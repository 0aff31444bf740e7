#include "storage/FileStorage.h"

#include "base/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A stored name is a bare file name; anything else must not steer a write.
bool IsBareName(const QString& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains(QChar(0));
}

} // namespace

bool TStoredFile::Extract(const QString& path, bool createPath) {
    QObject* sender = Owner ? Owner->parent() : nullptr;
    bool allow = true;
    if (Owner && Owner->OnExtract)
        Owner->OnExtract(sender, path, Size, allow);
    if (!allow)
        return true;
    if (createPath)
        TFileStorage::ForceFileDirectories(path);

    // A temporary file renamed into place: a reader never sees half a file, and
    // a short write is a failure rather than a success.
    const bool ok = SaveFileAtomically(path, Data);
    if (ok && Owner && Owner->AutoExtract.RemoveOnTerminate)
        Owner->ExtractedFiles.append(path);
    if (Owner && Owner->OnExtracted)
        Owner->OnExtracted(sender, path, Size, ok);
    return ok;
}

TFileStorage::TFileStorage(QObject* owner) : QObject(owner) {}

TFileStorage::~TFileStorage() {
    if (AutoExtract.Enabled && AutoExtract.RemoveOnTerminate && !ExtractedFiles.isEmpty()) {
        for (const QString& path : ExtractedFiles)
            QFile::remove(path);
        const QString folder = QFileInfo(ExtractedFiles.first()).path();
        if (IsEmptyDirectory(folder))
            QDir().rmdir(folder);
    }
}

void TFileStorage::clearFiles() {
    Files.clear();
    count_ = 0;
}

TStoredDataResult TFileStorage::ReadStoredData(QByteArrayView data, QString* error) {
    clearFiles();
    compressed_ = false;
    // A size within the bounds can still be more than the machine will give us.
    try {
        return readContainer(data, error);
    } catch (const std::bad_alloc&) {
        count_ = int32_t(Files.size());
        if (error)
            *error = QStringLiteral("out of memory"); // static text, nothing to allocate
        return TStoredDataResult::Corrupt;
    }
}

TStoredFile* TFileStorage::AddFile(const QString& name, const QByteArray& data) {
    auto file = std::make_unique<TStoredFile>(this);
    file->Name = name;
    file->RawName = name.toLocal8Bit();
    file->Size = int32_t(data.size());
    file->Data = data;
    Files.push_back(std::move(file));
    count_ = int32_t(Files.size());
    return Files.back().get();
}

int32_t TFileStorage::DataSize() const {
    uint32_t sum = 0; // wraps like the 32-bit field it reports
    for (int32_t i = 0; i < count_ && size_t(i) < Files.size(); ++i)
        sum += uint32_t(Files[size_t(i)]->Size);
    return int32_t(sum);
}

const TStoredFile* TFileStorage::FindFile(const QString& name) const {
    for (const auto& file : Files) {
        if (file->Name == name)
            return file.get();
    }
    return nullptr;
}

bool TFileStorage::ExtractFile(const QString& name, const QString& path) {
    QString target = path;
    if (target.isEmpty()) {
        if (!IsBareName(name))
            return false;
        target = ResolveExtractFolder(AutoExtract.ExtractTo) + name;
    }
    for (const auto& file : Files) {
        if (file->Name == name)
            return file->Extract(target, AutoExtract.ExtractTo.CreatePath);
    }
    return false;
}

void TFileStorage::Loaded() {
    if (!AutoExtract.Enabled)
        return;
    const QString folder = ResolveExtractFolder(AutoExtract.ExtractTo);
    for (const auto& file : Files) {
        if (!IsBareName(file->Name))
            continue;
        const QString path = folder + file->Name;
        const QFileInfo info(path);
        bool extract = true;
        if (info.exists()) {
            switch (AutoExtract.Overwrite) {
            case owIfSizeDifferent:
                extract = !info.isFile() || info.size() != int64_t(file->Size);
                break;
            case owNever:
                extract = false;
                break;
            case owAlways:
                break;
            }
        }
        if (extract)
            file->Extract(path, AutoExtract.ExtractTo.CreatePath);
    }
}
