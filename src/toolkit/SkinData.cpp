#include "toolkit/SkinData.h"

#include "toolkit/StoredSkins.h"

#include <QApplication>
#include <zlib.h>

namespace {
int g_decompressed = 0;
}

QByteArray InflateZlib(const QByteArray& data, qsizetype limit) {
    if (data.isEmpty())
        return {};
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return {};
    QByteArray out;
    char chunk[16384];
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    zs.avail_in = uInt(data.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        out.append(chunk, qsizetype(sizeof chunk - zs.avail_out));
        if (out.size() > limit) {
            rc = Z_DATA_ERROR;
            break;
        }
        // A stream that stops before its end marker is damaged.
        if (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0) {
            rc = Z_DATA_ERROR;
            break;
        }
    }
    inflateEnd(&zs);
    return rc == Z_STREAM_END ? out : QByteArray();
}

TbsCompressedStoredSkin::TbsCompressedStoredSkin(int index, QObject* owner)
    : QObject(owner), index_(index) {}

int TbsCompressedStoredSkin::StoredSkinCount() {
    return kStoredSkinCount;
}

QString TbsCompressedStoredSkin::Name() const {
    if (index_ < 0 || index_ >= kStoredSkinCount)
        return {};
    return QString::fromUtf8(kStoredSkins[index_].name);
}

QByteArray TbsCompressedStoredSkin::CompressedData() const {
    if (index_ < 0 || index_ >= kStoredSkinCount)
        return {};
    const StoredSkinBlob& blob = kStoredSkins[index_];
    return QByteArray::fromRawData(reinterpret_cast<const char*>(blob.data), qsizetype(blob.size));
}

QString TbsCompressedStoredSkin::StyleSheet() const {
    ++g_decompressed;
    return QString::fromUtf8(InflateZlib(CompressedData()));
}

TbsSkinData::TbsSkinData(QObject* owner) : QObject(owner) {}

int TbsSkinData::DecompressCount() {
    return g_decompressed;
}

bool TbsSkinData::SetCompressedStoredSkin(TbsCompressedStoredSkin* skin) {
    if (!skin)
        return false;
    if (updating_ > 0) {
        active_ = skin;
        return true;
    }
    if (!Apply(skin))
        return false;
    active_ = skin;
    return true;
}

void TbsSkinData::EndUpdate() {
    if (updating_ > 0 && --updating_ == 0 && active_ && active_ != appliedSkin_)
        Apply(active_);
}

bool TbsSkinData::Apply(TbsCompressedStoredSkin* skin) {
    if (skin == appliedSkin_)
        return true;
    const QString sheet = skin->StyleSheet();
    if (sheet.isEmpty())
        return false;
    qApp->setStyleSheet(sheet);
    applied_ = sheet;
    appliedSkin_ = skin;
    if (OnSkinChanged)
        OnSkinChanged(this);
    return true;
}
