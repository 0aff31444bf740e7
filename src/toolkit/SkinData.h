#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// One stored skin: a style sheet kept as a zlib stream inside the program.
// It is decompressed only when it becomes active.
class TbsCompressedStoredSkin : public QObject {
    Q_OBJECT
public:
    // index: 0, 1 or 2, the stored skin built into the program.
    TbsCompressedStoredSkin(int index, QObject* owner = nullptr);

    int Index() const { return index_; }
    QString Name() const;
    // The zlib stream as stored.
    QByteArray CompressedData() const;
    // The style sheet; empty when the stream is damaged.
    QString StyleSheet() const;

    static int StoredSkinCount();

private:
    int index_;
};

// Holds the active skin and applies it to the whole application.
class TbsSkinData : public QObject {
    Q_OBJECT
public:
    explicit TbsSkinData(QObject* owner = nullptr);

    TbsCompressedStoredSkin* CompressedStoredSkin() const { return active_; }
    // Makes skin the active one and restyles every widget; false (and nothing
    // changes) when its stream cannot be decompressed.
    bool SetCompressedStoredSkin(TbsCompressedStoredSkin* skin);

    // Between BeginUpdate and EndUpdate a skin change is only recorded;
    // EndUpdate applies the skin chosen last, once.
    void BeginUpdate() { ++updating_; }
    void EndUpdate();
    // The style sheet now applied (empty before the first one).
    QString AppliedStyleSheet() const { return applied_; }

    // Raised after a skin has been applied.
    std::function<void(QObject* Sender)> OnSkinChanged;

    // How many skins were decompressed so far in this process (start-up checks).
    static int DecompressCount();

private:
    bool Apply(TbsCompressedStoredSkin* skin);

    TbsCompressedStoredSkin* active_ = nullptr;
    TbsCompressedStoredSkin* appliedSkin_ = nullptr;
    QString applied_;
    int updating_ = 0;
};

// Inflates a zlib stream; empty on any damage. Never reads past `data` and
// never produces more than `limit` bytes.
QByteArray InflateZlib(const QByteArray& data, qsizetype limit = 16 << 20);
