#pragma once

// TFileStorage owns the files the program carries inside itself and writes
// them to disk on request.
//
// Where ResolveExtractFolder looks on Linux (every folder gets a trailing "/"):
//
//   tdCurrentDir    the folder of the program's own executable (/proc/self/exe),
//                   not the process's working directory
//   tdWindowsDir    /usr/share
//   tdTempDir       $TMPDIR, else /tmp
//   tdSystemDir     /usr/lib
//   tdMediaDir      /usr/share/sounds
//   tdCursorsDir    /usr/share/icons
//   tdHelpDir       /usr/share/help
//   tdSamplesDir    /usr/share/doc
//   tdDesktop       the XDG desktop folder (xdg-user-dirs DESKTOP)
//   tdProgramFiles  /opt
//   tdMyDocuments   the XDG documents folder
//   tdMyPictures    the XDG pictures folder
//   tdAppData       $XDG_CONFIG_HOME, else $HOME/.config
//   tdNone          no base: Subdirectory exactly as set
//
// A user folder that cannot be determined is the empty string, so the result
// becomes "/" followed by the subdirectory. For every value but tdNone the
// Subdirectory follows with its leading "/" removed and a trailing "/" added.

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TFileStorage;

enum TFileStorageOverwrite { owIfSizeDifferent = 0, owNever = 1, owAlways = 2 };

enum TToplevelDir {
    tdCurrentDir = 0,
    tdWindowsDir = 1,
    tdTempDir = 2,
    tdSystemDir = 3,
    tdMediaDir = 4,
    tdCursorsDir = 5,
    tdHelpDir = 6,
    tdSamplesDir = 7,
    tdDesktop = 8,
    tdProgramFiles = 9,
    tdMyDocuments = 10,
    tdMyPictures = 11,
    tdAppData = 12,
    tdNone = 13,
};

// Sender is the storage's owner (the window holding it), not the storage.
using TOnExtractEvent = std::function<void(QObject* Sender, const QString& FileName,
                                           int32_t FileSize, bool& AllowExtracting)>;
using TOnExtractedEvent = std::function<void(QObject* Sender, const QString& FileName,
                                             int32_t FileSize, bool Successfully)>;

struct TExtractTo {
    bool CreatePath = true;
    TToplevelDir ToplevelDir = tdCurrentDir;
    QString Subdirectory;
};

struct TAutoExtract {
    bool Enabled = false;
    TExtractTo ExtractTo;
    TFileStorageOverwrite Overwrite = owIfSizeDifferent;
    bool RemoveOnTerminate = false;
};

// One file of the container, decoded. Data holds exactly Size bytes.
class TStoredFile {
public:
    explicit TStoredFile(TFileStorage* owner) : Owner(owner) {}
    virtual ~TStoredFile() = default;
    TStoredFile(const TStoredFile&) = delete;
    TStoredFile& operator=(const TStoredFile&) = delete;

    // Writes Data to path (replacing any file there), raising OnExtract before
    // and OnExtracted after. A vetoed extraction returns true and writes nothing.
    virtual bool Extract(const QString& path, bool createPath);

    TFileStorage* Owner;
    QString Name;
    int32_t Size = 0;
    QByteArray Data;
    // The name as stored, so a container round-trips byte for byte even when
    // its names are not valid in the local encoding.
    QByteArray RawName;
};

enum class TStoredDataResult {
    Ok,
    Corrupt, // a record broke a bound or did not fit in memory; the records before it were kept
};

class TFileStorage : public QObject {
    Q_OBJECT
public:
    // owner is the window that holds the storage; it is also the events' Sender.
    explicit TFileStorage(QObject* owner = nullptr);
    ~TFileStorage() override;

    // Reads a container: the "SFP1" layout with packed records, or the raw
    // layout without magic. Every read is bounded by data's length and every
    // write by the record's unpacked size; no record allocates more than its
    // blocks could decode to. A record that breaks a bound, decodes to another
    // length than its stored size or cannot be allocated ends the reading with
    // Corrupt and the records before it stay; nothing is thrown. error
    // receives a short reason.
    TStoredDataResult ReadStoredData(QByteArrayView data, QString* error = nullptr);
    // Always the "SFP1" layout with packed data. Persisting code writes it only
    // when Count is not zero.
    QByteArray WriteStoredData() const;

    // Automatic extraction after loading (only when AutoExtract.Enabled).
    void Loaded();

    // Writes the stored file called name (exact, case-sensitive) to path; an
    // empty path means ResolveExtractFolder(AutoExtract.ExtractTo) + name.
    // False when no file has the name or the write fails.
    bool ExtractFile(const QString& name, const QString& path = QString());

    const TStoredFile* FindFile(const QString& name) const;

    int32_t Count() const { return count_; }
    int32_t DataSize() const;
    bool Compressed() const { return compressed_; }

    // Adds a file (used by the packing tool); Count follows.
    TStoredFile* AddFile(const QString& name, const QByteArray& data);

    static QString ResolveExtractFolder(const TExtractTo& extractTo);
    static void ForceFileDirectories(const QString& path);
    static bool IsEmptyDirectory(const QString& folder);
    // The XDG counterpart of the shell-folder values "Desktop", "Personal",
    // "My Pictures" and "AppData"; empty when unknown.
    static QString ReadShellFolder(const QString& valueName);

    TAutoExtract AutoExtract;
    std::vector<std::unique_ptr<TStoredFile>> Files;
    QStringList ExtractedFiles;
    TOnExtractEvent OnExtract;
    TOnExtractedEvent OnExtracted;

private:
    friend class TStoredFile;
    void clearFiles();
    TStoredDataResult readContainer(QByteArrayView data, QString* error);

    bool compressed_ = false;
    int32_t count_ = 0;
};
