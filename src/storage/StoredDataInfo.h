#pragma once

// A look at a container's layout without decoding it: what the packer's
// "list" command prints and what the format tests check by hand.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <vector>

enum class TBlockMode { Escape, RunTable };

struct TStoredBlockInfo {
    int32_t BodyLength = 0;
    TBlockMode Mode = TBlockMode::Escape;
    int32_t Header = 0; // the escape value or the data part's end
};

struct TStoredRecordInfo {
    QByteArray Name;
    int32_t PackedLength = 0; // P; the raw size in the layout without magic
    int32_t Size = 0;         // S
    std::vector<TStoredBlockInfo> Blocks;
};

struct TStoredDataInfo {
    bool Compressed = false;
    int32_t Count = 0;
    std::vector<TStoredRecordInfo> Records;
};

// False (with a reason) when a record runs past the data; Records then holds
// the records before it.
bool DescribeStoredData(QByteArrayView data, TStoredDataInfo& info, QString* error = nullptr);
