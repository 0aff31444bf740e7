#include "storage/FileStorage.h"
#include "storage/StoredDataInfo.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray Golden(const char* name) {
    QFile file(QStringLiteral(QUILL_STORAGE_TEST_DATA "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

QByteArray TableBin() {
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b + QByteArray(7, 'A');
}

QByteArray Le32(int32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(uint32_t(v) >> (8 * i));
    return b;
}

// A one-record container with the given fields, for damage cases.
QByteArray Record(int32_t nameLength, const QByteArray& name, int32_t packed, int32_t size,
                  const QByteArray& blocks) {
    return QByteArray("SFP1") + Le32(1) + Le32(nameLength) + name + Le32(packed) + Le32(size) +
           blocks;
}

int Sfpack(const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.start(QStringLiteral(QUILL_SFPACK), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitCode();
}

} // namespace

TEST(StoredData, ReadsAndRewritesTheGoldenContainer) {
    const QByteArray golden = Golden("small.sfp");
    TFileStorage storage;
    ASSERT_EQ(storage.ReadStoredData(golden), TStoredDataResult::Ok);
    EXPECT_TRUE(storage.Compressed());
    ASSERT_EQ(storage.Count(), 3);
    ASSERT_EQ(storage.Files.size(), 3u);
    EXPECT_EQ(storage.Files[0]->Name, "hello.txt");
    EXPECT_EQ(storage.Files[0]->Data, "Hello, hello!!!!\n");
    EXPECT_EQ(storage.Files[1]->Name, "empty.bin");
    EXPECT_EQ(storage.Files[1]->Size, 0);
    EXPECT_TRUE(storage.Files[1]->Data.isEmpty());
    EXPECT_EQ(storage.Files[2]->Name, "Table.bin");
    EXPECT_EQ(storage.Files[2]->Data, TableBin());
    EXPECT_EQ(storage.DataSize(), 17 + 0 + 263);
    EXPECT_EQ(storage.WriteStoredData(), golden);

    TStoredDataInfo info;
    ASSERT_TRUE(DescribeStoredData(golden, info));
    ASSERT_EQ(info.Records.size(), 3u);
    EXPECT_EQ(info.Records[0].PackedLength, 24);
    EXPECT_EQ(info.Records[1].PackedLength, 4);
    ASSERT_EQ(info.Records[2].Blocks.size(), 1u);
    EXPECT_EQ(info.Records[2].Blocks[0].Mode, TBlockMode::RunTable);
    EXPECT_EQ(info.Records[2].Blocks[0].Header, 260);
}

TEST(StoredData, ReadsTheLayoutWithoutMagic) {
    TFileStorage storage;
    ASSERT_EQ(storage.ReadStoredData(Golden("raw-layout.bin")), TStoredDataResult::Ok);
    EXPECT_FALSE(storage.Compressed());
    ASSERT_EQ(storage.Count(), 2);
    EXPECT_EQ(storage.Files[0]->Name, "a.txt");
    EXPECT_EQ(storage.Files[0]->Data, "abc");
    EXPECT_EQ(storage.Files[0]->Size, 3);
    EXPECT_EQ(storage.Files[1]->Name, "B.bin");
    EXPECT_EQ(storage.Files[1]->Size, 0);
    // Written back, it takes the packed layout.
    TFileStorage again;
    ASSERT_EQ(again.ReadStoredData(storage.WriteStoredData()), TStoredDataResult::Ok);
    EXPECT_TRUE(again.Compressed());
    EXPECT_EQ(again.Files[0]->Data, "abc");
}

TEST(StoredData, EveryTruncationKeepsTheCompleteRecords) {
    const QByteArray golden = Golden("small.sfp");
    // Records end at 49 (hello.txt), 70 (empty.bin) and the end (Table.bin).
    for (qsizetype n = 0; n < golden.size(); ++n) {
        TFileStorage storage;
        QString error;
        ASSERT_EQ(storage.ReadStoredData(golden.first(n), &error), TStoredDataResult::Corrupt)
            << "prefix " << n;
        const size_t complete = n < 49 ? 0 : n < 70 ? 1 : 2;
        EXPECT_EQ(storage.Files.size(), complete) << "prefix " << n;
        EXPECT_EQ(storage.Count(), int32_t(complete));
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(StoredData, RejectsDamagedRecords) {
    const QByteArray name("x.bin");
    const QByteArray goodBlock = QByteArray::fromHex("0500"
                                                     "0000"
                                                     "41"
                                                     "42"
                                                     "43"); // E=0, ABC
    struct Case {
        const char* what;
        QByteArray data;
    };
    const Case cases[] = {
        {"negative count", QByteArray("SFP1") + Le32(-1)},
        {"negative name length", Record(-5, name, 9, 3, goodBlock)},
        {"name past the end", Record(1000, name, 9, 3, goodBlock)},
        {"packed length below the size field", Record(5, name, 3, 3, goodBlock)},
        {"packed length past the end", Record(5, name, 100, 3, goodBlock)},
        {"negative size", Record(5, name, 11, -3, goodBlock)},
        {"size larger than the data", Record(5, name, 11, 4, goodBlock)},
        {"size smaller than the data", Record(5, name, 11, 2, goodBlock)},
        {"forged huge size", Record(5, name, 11, 0x7fffffff, goodBlock)},
        {"block length past the record",
         Record(5, name, 11, 3, QByteArray::fromHex("0900000041424300"))},
        {"raw record past the end",
         QByteArray(Le32(1) + Le32(0) + Le32(1) + "a" + Le32(50) + "xy")},
    };
    for (const Case& c : cases) {
        TFileStorage storage;
        EXPECT_EQ(storage.ReadStoredData(c.data), TStoredDataResult::Corrupt) << c.what;
        EXPECT_TRUE(storage.Files.empty()) << c.what;
    }
    TFileStorage ok;
    EXPECT_EQ(ok.ReadStoredData(Record(5, name, 11, 3, goodBlock)), TStoredDataResult::Ok);
    EXPECT_EQ(ok.Files[0]->Data, "ABC");
}

TEST(StoredData, RandomDamageNeverBreaksBounds) {
    const QByteArray golden = Golden("small.sfp");
    const unsigned seed = std::random_device{}();
    std::printf("container damage seed: %u\n", seed);
    std::mt19937 rng(seed);
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = golden;
        for (int k = 0, flips = 1 + int(rng() % 4); k < flips; ++k)
            damaged[qsizetype(rng() % unsigned(damaged.size()))] = char(rng());
        TFileStorage storage;
        storage.ReadStoredData(damaged);
        ASSERT_LE(storage.Files.size(), 3u) << "seed " << seed;
        for (const auto& f : storage.Files)
            ASSERT_EQ(f->Data.size(), f->Size) << "seed " << seed;
    }
}

TEST(StoredData, PackerToolRoundTripsByteExactly) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in"), out = dir.filePath("out");
    QDir().mkpath(in);
    const QByteArray payloads[] = {TableBin().repeated(500), QByteArray(200000, 'z'), QByteArray()};
    const char* names[] = {"big.bin", "Runs.dat", "empty"};
    QStringList args{"pack", dir.filePath("c.sfp")};
    for (int i = 0; i < 3; ++i) {
        QFile f(in + "/" + names[i]);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(payloads[i]);
        args << f.fileName();
    }
    ASSERT_EQ(Sfpack(args), 0);

    QByteArray listing;
    ASSERT_EQ(Sfpack({"list", dir.filePath("c.sfp")}, &listing), 0);
    EXPECT_TRUE(listing.startsWith("SFP1, 3 record(s)"));
    EXPECT_TRUE(listing.contains("Runs.dat\t200000\t"));
    EXPECT_TRUE(listing.contains("empty\t0\t4\t-"));

    ASSERT_EQ(Sfpack({"unpack", dir.filePath("c.sfp"), out}), 0);
    for (int i = 0; i < 3; ++i) {
        QFile f(out + "/" + names[i]);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << names[i];
        EXPECT_EQ(f.readAll(), payloads[i]) << names[i];
    }
    // Packing the unpacked files again gives the same container.
    QStringList again{"pack", dir.filePath("d.sfp")};
    for (const char* n : names)
        again << out + "/" + n;
    ASSERT_EQ(Sfpack(again), 0);
    QFile c(dir.filePath("c.sfp")), d(dir.filePath("d.sfp"));
    ASSERT_TRUE(c.open(QIODevice::ReadOnly) && d.open(QIODevice::ReadOnly));
    EXPECT_EQ(c.readAll(), d.readAll());
}

TEST(StoredData, PackerToolRefusesUnsafeNamesAndBadUsage) {
    QTemporaryDir dir;
    TFileStorage storage;
    storage.AddFile("../escaped.txt", "bad");
    storage.AddFile("fine.txt", "good");
    QFile c(dir.filePath("evil.sfp"));
    ASSERT_TRUE(c.open(QIODevice::WriteOnly));
    c.write(storage.WriteStoredData());
    c.close();
    QDir().mkpath(dir.filePath("out"));
    EXPECT_EQ(Sfpack({"unpack", c.fileName(), dir.filePath("out")}), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath("escaped.txt")));
    EXPECT_TRUE(QFile::exists(dir.filePath("out/fine.txt")));

    EXPECT_EQ(Sfpack({}), 2);
    EXPECT_EQ(Sfpack({"list"}), 2);
    EXPECT_EQ(Sfpack({"list", dir.filePath("missing.sfp")}), 1);
    EXPECT_EQ(Sfpack({"pack", dir.filePath("x.sfp"), dir.filePath("missing")}), 1);
}
