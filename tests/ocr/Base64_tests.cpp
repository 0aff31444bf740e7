#include "TempHome.h"
#include "ocr/mybase64.h"

#include <QBuffer>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

namespace {

QByteArray EncodeBlock(const QByteArray& bytes) {
    QByteArray out(static_cast<qsizetype>((bytes.size() + 2) / 3 * 4), '\0');
    const size_t n = Base64EncodeBlock(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       static_cast<size_t>(bytes.size()), out.data());
    EXPECT_EQ(static_cast<qsizetype>(n), out.size());
    return out;
}

QByteArray RandomBytes(int n, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

QString WriteFile(const TempHome& home, const QByteArray& bytes) {
    const QString path = home.path() + "/picture.jpg";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

} // namespace

TEST(Base64, Rfc4648Vectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors)
        EXPECT_EQ(EncodeBlock(plain), QByteArray(encoded)) << plain;
}

TEST(Base64, EveryByteValueMatchesQt) {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    for (int length = 0; length <= all.size(); length += 37)
        EXPECT_EQ(EncodeBlock(all.left(length)), all.left(length).toBase64()) << length;
    const QByteArray random = RandomBytes(100003, 7);
    EXPECT_EQ(EncodeBlock(random), random.toBase64());
}

TEST(Base64, FileValueIsOneLineEndedByCrLf) {
    struct Case {
        int size;
        int characters; // before the CR LF
        const char* tail;
    };
    const Case cases[] = {{1, 4, "=="},     {2, 4, "="},        {3, 4, ""},
                          {6144, 8192, ""}, {6145, 8196, "=="}, {12289, 16388, "=="}};
    for (const Case& c : cases) {
        TempHome home;
        const QByteArray bytes = RandomBytes(c.size, static_cast<unsigned>(c.size));
        const QByteArray text = ReadFileAsBase64(WriteFile(home, bytes));
        ASSERT_TRUE(text.endsWith("\r\n")) << c.size;
        const QByteArray line = text.chopped(2);
        EXPECT_EQ(line.size(), c.characters) << c.size;
        EXPECT_EQ(line, bytes.toBase64()) << c.size;
        EXPECT_EQ(line.count('='), qsizetype(qstrlen(c.tail))) << "padding only at the end";
        EXPECT_FALSE(line.contains('\n'));
    }
}

TEST(Base64, EmptyOrMissingFileGivesEmptyText) {
    TempHome home;
    EXPECT_EQ(ReadFileAsBase64(WriteFile(home, QByteArray())), QByteArray());
    EXPECT_EQ(ReadFileAsBase64(home.path() + "/missing.jpg"), QByteArray());
}

TEST(Base64, StreamRanges) {
    const QByteArray bytes = RandomBytes(20000, 3);
    struct Case {
        int64_t start, count;
        QByteArray expected;
    };
    const Case cases[] = {
        {0, 0, bytes.toBase64()},
        {0, 20000, bytes.toBase64()},
        {0, 50000, bytes.toBase64()}, // more than is left: to the end
        {100, 0, bytes.mid(100).toBase64()},
        {100, 7000, bytes.mid(100, 7000).toBase64()},
        {19999, 0, bytes.right(1).toBase64()},
        {20000, 0, QByteArray()}, // start at the size: nothing
        {-1, 10, QByteArray()},
        {5, -3, bytes.mid(5).toBase64()}, // a count that is not positive
    };
    for (const Case& c : cases) {
        QByteArray in = bytes;
        QBuffer input(&in);
        input.open(QIODevice::ReadOnly);
        QByteArray out;
        QBuffer output(&out);
        output.open(QIODevice::WriteOnly);
        Base64EncodeStream(input, output, c.start, c.count);
        EXPECT_EQ(out, c.expected) << c.start << " " << c.count;
    }
}

TEST(Base64, TransformUsesTheGivenChunks) {
    QByteArray in = RandomBytes(10, 1);
    QBuffer input(&in);
    input.open(QIODevice::ReadOnly);
    QByteArray out;
    QBuffer output(&out);
    output.open(QIODevice::WriteOnly);
    std::vector<size_t> chunks;
    TransformStreamRange(
        input, output,
        [&](const uint8_t* data, size_t n, char* dest) {
            chunks.push_back(n);
            std::memcpy(dest, data, n);
            return n;
        },
        1, 8, 3, 3);
    EXPECT_EQ(chunks, (std::vector<size_t>{3, 3, 2}));
    EXPECT_EQ(out, in.mid(1, 8));
}
