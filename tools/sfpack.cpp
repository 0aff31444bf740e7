// sfpack: makes, lists and unpacks stored-file containers.
//
//   sfpack pack OUT FILE...      files are stored under their base names
//   sfpack list CONTAINER        one line per record: name, size, packed length, block modes
//   sfpack unpack CONTAINER DIR  writes every record into DIR
//
// Exit status: 0 done, 1 failed (a damaged container still unpacks the records
// before the damage), 2 wrong usage.

#include "storage/FileStorage.h"
#include "storage/StoredDataInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <cstdio>

namespace {

int Usage() {
    std::fputs("usage: sfpack pack OUT FILE...\n"
               "       sfpack list CONTAINER\n"
               "       sfpack unpack CONTAINER DIR\n",
               stderr);
    return 2;
}

void Error(const QString& text) {
    std::fprintf(stderr, "sfpack: %s\n", qPrintable(text));
}

bool ReadAll(const QString& path, QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Error(path + ": " + file.errorString());
        return false;
    }
    data = file.readAll();
    return true;
}

int Pack(const QString& out, const QStringList& inputs) {
    TFileStorage storage;
    QSet<QString> names;
    for (const QString& input : inputs) {
        const QString name = QFileInfo(input).fileName();
        if (names.contains(name)) {
            Error(QStringLiteral("two files named %1").arg(name));
            return 1;
        }
        names.insert(name);
        QByteArray data;
        if (!ReadAll(input, data))
            return 1;
        if (data.size() > INT32_MAX) {
            Error(input + QStringLiteral(": too large"));
            return 1;
        }
        storage.AddFile(name, data);
    }
    QSaveFile file(out);
    if (!file.open(QIODevice::WriteOnly) || file.write(storage.WriteStoredData()) < 0 ||
        !file.commit()) {
        Error(out + ": " + file.errorString());
        return 1;
    }
    return 0;
}

int List(const QString& container) {
    QByteArray data;
    if (!ReadAll(container, data))
        return 1;
    TStoredDataInfo info;
    QString error;
    const bool ok = DescribeStoredData(data, info, &error);
    std::printf("%s, %d record(s), %lld bytes\n", info.Compressed ? "SFP1" : "raw", info.Count,
                static_cast<long long>(data.size()));
    for (const TStoredRecordInfo& r : info.Records) {
        QByteArray modes;
        for (const TStoredBlockInfo& b : r.Blocks)
            modes += b.Mode == TBlockMode::Escape ? 'E' : 'T';
        std::printf("%s\t%d\t%d\t%s\n", r.Name.constData(), r.Size, r.PackedLength,
                    modes.isEmpty() ? "-" : modes.constData());
    }
    if (!ok) {
        Error(container + ": " + error);
        return 1;
    }
    return 0;
}

int Unpack(const QString& container, const QString& dir) {
    QByteArray data;
    if (!ReadAll(container, data))
        return 1;
    TFileStorage storage;
    QString error;
    const bool ok = storage.ReadStoredData(data, &error) == TStoredDataResult::Ok;
    if (!QDir().mkpath(dir)) {
        Error(dir + QStringLiteral(": cannot create"));
        return 1;
    }
    bool written = true;
    for (const auto& file : storage.Files) {
        const QString& name = file->Name;
        // A stored name is a bare file name; anything else would write outside DIR.
        if (name.isEmpty() || name == "." || name == ".." || name.contains('/') ||
            name.contains('\\')) {
            Error(QStringLiteral("refusing the stored name \"%1\"").arg(name));
            written = false;
            continue;
        }
        if (!file->Extract(QDir(dir).filePath(name), false)) {
            Error(QDir(dir).filePath(name) + QStringLiteral(": cannot write"));
            written = false;
        }
    }
    if (!ok)
        Error(container + ": " + error);
    return ok && written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() >= 2 && args[0] == "pack")
        return Pack(args[1], args.mid(2));
    if (args.size() == 2 && args[0] == "list")
        return List(args[1]);
    if (args.size() == 3 && args[0] == "unpack")
        return Unpack(args[1], args[2]);
    return Usage();
}
