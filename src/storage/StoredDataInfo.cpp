#include "storage/StoredDataInfo.h"

#include <cstring>

namespace {

bool Take(QByteArrayView data, qsizetype& at, qsizetype n, QByteArrayView& out) {
    if (n < 0 || data.size() - at < n)
        return false;
    out = data.sliced(at, n);
    at += n;
    return true;
}

bool Int32(QByteArrayView data, qsizetype& at, int32_t& v) {
    QByteArrayView b;
    if (!Take(data, at, 4, b))
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(b.data());
    v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    return true;
}

bool Fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

} // namespace

bool DescribeStoredData(QByteArrayView data, TStoredDataInfo& info, QString* error) {
    info = {};
    qsizetype at = 0;
    info.Compressed = data.size() >= 4 && std::memcmp(data.data(), "SFP1", 4) == 0;
    int32_t skipped = 0;
    if (info.Compressed)
        at = 4;
    if (!Int32(data, at, info.Count) || (!info.Compressed && !Int32(data, at, skipped)))
        return Fail(error, QStringLiteral("no record count"));
    for (int32_t r = 0; r < info.Count; ++r) {
        const QString where = QStringLiteral("record %1: ").arg(r + 1);
        TStoredRecordInfo rec;
        int32_t n = 0;
        QByteArrayView name, blocks;
        if (!Int32(data, at, n) || !Take(data, at, n, name) || !Int32(data, at, rec.PackedLength))
            return Fail(error, where + QStringLiteral("truncated header"));
        rec.Name = name.toByteArray();
        if (!info.Compressed) {
            rec.Size = rec.PackedLength;
            if (!Take(data, at, rec.PackedLength, blocks))
                return Fail(error, where + QStringLiteral("truncated data"));
            info.Records.push_back(rec);
            continue;
        }
        if (rec.PackedLength < 4 || !Int32(data, at, rec.Size) ||
            !Take(data, at, qsizetype(rec.PackedLength) - 4, blocks))
            return Fail(error, where + QStringLiteral("truncated data"));
        const auto* p = reinterpret_cast<const uint8_t*>(blocks.data());
        for (qsizetype b = 0; b < blocks.size();) {
            if (blocks.size() - b < 4)
                return Fail(error, where + QStringLiteral("truncated block"));
            TStoredBlockInfo block;
            block.BodyLength = int32_t(p[b] | p[b + 1] << 8);
            block.Header = int32_t(p[b + 2] | p[b + 3] << 8);
            block.Mode = block.Header < 256 ? TBlockMode::Escape : TBlockMode::RunTable;
            if (block.BodyLength < 2 || block.BodyLength > blocks.size() - b - 2)
                return Fail(error, where + QStringLiteral("truncated block"));
            rec.Blocks.push_back(block);
            b += 2 + block.BodyLength;
        }
        info.Records.push_back(rec);
    }
    return true;
}
