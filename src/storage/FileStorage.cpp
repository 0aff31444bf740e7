#include "storage/FileStorage.h"

#include "base/Files.h"
#include "storage/FSSFPack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstring>
#include <new>

namespace {

const char Magic[4] = {'S', 'F', 'P', '1'};

// The fewest block bytes that decode to a full BlockSize: length, header and
// one long run. Shorter blocks yield far less, so no record holds more than
// BlockSize bytes per this many bytes of blocks.
constexpr int64_t DensestBlockBytes = 9;

// A cursor over the container that never reads past its end.
class Reader {
public:
    explicit Reader(QByteArrayView data) : data_(data) {}

    bool Int32(int32_t& v) {
        if (left() < 4)
            return false;
        const auto* p = reinterpret_cast<const uint8_t*>(data_.data() + pos_);
        v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                    uint32_t(p[3]) << 24);
        pos_ += 4;
        return true;
    }
    bool Bytes(qsizetype n, QByteArrayView& out) {
        if (n < 0 || left() < n)
            return false;
        out = data_.sliced(pos_, n);
        pos_ += n;
        return true;
    }
    qsizetype left() const { return data_.size() - pos_; }

private:
    QByteArrayView data_;
    qsizetype pos_ = 0;
};

void PutInt32(QByteArray& out, int32_t v) {
    const auto u = uint32_t(v);
    const char b[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
    out.append(b, 4);
}

QString WithSlash(QString folder) {
    if (!folder.endsWith('/'))
        folder += '/';
    return folder;
}

QString ProgramFolder() {
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    return exe.isEmpty() ? QString() : QFileInfo(exe).absolutePath();
}

QString TempFolder() {
    const QByteArray t = qgetenv("TMPDIR");
    return t.isEmpty() ? QStringLiteral("/tmp") : QString::fromLocal8Bit(t);
}

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

TStoredDataResult TFileStorage::readContainer(QByteArrayView data, QString* error) {
    auto corrupt = [&](const QString& why) {
        count_ = int32_t(Files.size());
        if (error)
            *error = QStringLiteral("record %1: %2").arg(Files.size() + 1).arg(why);
        return TStoredDataResult::Corrupt;
    };

    Reader in(data);
    int32_t count = 0;
    if (data.size() >= 4 && std::memcmp(data.data(), Magic, 4) == 0) {
        compressed_ = true;
        QByteArrayView magic;
        in.Bytes(4, magic);
        if (!in.Int32(count))
            return corrupt(QStringLiteral("no record count"));
    } else {
        int32_t ignored = 0;
        if (!in.Int32(count) || !in.Int32(ignored))
            return corrupt(QStringLiteral("no record count"));
    }
    if (count < 0)
        return corrupt(QStringLiteral("negative record count"));

    for (int32_t r = 0; r < count; ++r) {
        int32_t nameLength = 0;
        int32_t packed = 0;
        QByteArrayView name;
        if (!in.Int32(nameLength) || !in.Bytes(nameLength, name) || !in.Int32(packed))
            return corrupt(QStringLiteral("truncated header"));
        auto file = std::make_unique<TStoredFile>(this);
        file->RawName = name.toByteArray();
        file->Name = QString::fromLocal8Bit(file->RawName);

        if (compressed_) {
            int32_t size = 0;
            QByteArrayView blocks;
            if (packed < 4 || !in.Int32(size) || !in.Bytes(qsizetype(packed) - 4, blocks))
                return corrupt(QStringLiteral("truncated data"));
            if (size < 0)
                return corrupt(QStringLiteral("negative size"));
            // Allocate only what the blocks can possibly produce, so a forged
            // size cannot make us reserve gigabytes.
            const int64_t most = int64_t(blocks.size()) * FSSFPack::BlockSize / DensestBlockBytes;
            if (size > most)
                return corrupt(QStringLiteral("size beyond what the data can hold"));
            file->Size = size;
            file->Data.resize(size);
            const int64_t got = FSSFPack::UnpackBuffer(
                reinterpret_cast<const uint8_t*>(blocks.data()), blocks.size(),
                reinterpret_cast<uint8_t*>(file->Data.data()), size);
            if (got != size)
                return corrupt(QStringLiteral("damaged blocks"));
        } else {
            QByteArrayView raw;
            if (!in.Bytes(packed, raw))
                return corrupt(QStringLiteral("truncated data"));
            file->Size = packed;
            file->Data = raw.toByteArray();
        }
        Files.push_back(std::move(file));
    }
    count_ = count;
    return TStoredDataResult::Ok;
}

QByteArray TFileStorage::WriteStoredData() const {
    QByteArray out(Magic, 4);
    PutInt32(out, int32_t(Files.size()));
    for (const auto& file : Files) {
        const QByteArray name = QString::fromLocal8Bit(file->RawName) == file->Name
                                    ? file->RawName
                                    : file->Name.toLocal8Bit();
        PutInt32(out, int32_t(name.size()));
        out.append(name);
        QByteArray packed(FSSFPack::PackBufferBound(file->Data.size()), Qt::Uninitialized);
        const int64_t p = FSSFPack::PackBuffer(
            reinterpret_cast<const uint8_t*>(file->Data.constData()), int32_t(file->Data.size()),
            reinterpret_cast<uint8_t*>(packed.data()));
        PutInt32(out, int32_t(p));
        out.append(packed.constData(), p);
    }
    return out;
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

QString TFileStorage::ReadShellFolder(const QString& valueName) {
    QStandardPaths::StandardLocation where;
    if (valueName == "Desktop")
        where = QStandardPaths::DesktopLocation;
    else if (valueName == "Personal")
        where = QStandardPaths::DocumentsLocation;
    else if (valueName == "My Pictures")
        where = QStandardPaths::PicturesLocation;
    else if (valueName == "AppData")
        where = QStandardPaths::GenericConfigLocation;
    else
        return QString();
    return QStandardPaths::writableLocation(where);
}

QString TFileStorage::ResolveExtractFolder(const TExtractTo& extractTo) {
    QString base;
    switch (extractTo.ToplevelDir) {
    case tdNone:
        return extractTo.Subdirectory;
    case tdCurrentDir:
        base = ProgramFolder();
        break;
    case tdWindowsDir:
        base = QStringLiteral("/usr/share");
        break;
    case tdTempDir:
        base = TempFolder();
        break;
    case tdSystemDir:
        base = QStringLiteral("/usr/lib");
        break;
    case tdMediaDir:
        base = QStringLiteral("/usr/share/sounds");
        break;
    case tdCursorsDir:
        base = QStringLiteral("/usr/share/icons");
        break;
    case tdHelpDir:
        base = QStringLiteral("/usr/share/help");
        break;
    case tdSamplesDir:
        base = QStringLiteral("/usr/share/doc");
        break;
    case tdDesktop:
        base = ReadShellFolder(QStringLiteral("Desktop"));
        break;
    case tdProgramFiles:
        base = QStringLiteral("/opt");
        break;
    case tdMyDocuments:
        base = ReadShellFolder(QStringLiteral("Personal"));
        break;
    case tdMyPictures:
        base = ReadShellFolder(QStringLiteral("My Pictures"));
        break;
    case tdAppData:
        base = ReadShellFolder(QStringLiteral("AppData"));
        break;
    }
    QString sub = extractTo.Subdirectory;
    while (sub.startsWith('/'))
        sub.remove(0, 1);
    QString result = WithSlash(base);
    if (!sub.isEmpty())
        result += WithSlash(sub);
    return result;
}

void TFileStorage::ForceFileDirectories(const QString& path) {
    const qsizetype last = path.lastIndexOf('/');
    for (qsizetype i = path.indexOf('/', 1); i >= 0 && i <= last; i = path.indexOf('/', i + 1))
        QDir().mkdir(path.left(i));
}

bool TFileStorage::IsEmptyDirectory(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir())
        return false;
    QDir dir(folder);
    if (!dir.isReadable())
        return false;
    return dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}
