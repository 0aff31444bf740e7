// The container layout: reading and writing the "SFP1" records.
#include "storage/FSSFPack.h"
#include "storage/FileStorage.h"

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

} // namespace

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
