#include "http/auHeaders.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpHeaders, TargetKeepsEscapesAndEscapesTheRest) {
    struct Case {
        const char* url;
        bool secure;
        QByteArray target;
    } cases[] = {
        {"http://h/a%20b?q=%26x", false, "http://h:80/a%20b?q=%26x"},
        {"https://h", true, "https://h:443/"},
        {"http://[::1]:81/p q", false, "http://[::1]:81/p%20q"},
        {"http://u:p@h:8/x\"y#f", false, "http://h:8/x%22y#f"},
        {"http://h/\xC3\xA9", false, "http://h:80/%C3%A9"},
    };
    for (const Case& c : cases) {
        RawUrlParts raw;
        ASSERT_TRUE(SplitUrlRaw(QString::fromUtf8(c.url), raw)) << c.url;
        EXPECT_EQ(BuildTarget(raw, c.secure), c.target) << c.url;
    }
}

TEST(HttpHeaders, LinesFollowTheRequest) {
    using Lines = QList<QByteArray>;
    struct Case {
        const char* name;
        void (*arrange)(TransferRequest&);
        std::optional<Lines> lines;
    } cases[] = {
        {"GET", [](TransferRequest&) {}, Lines{"Accept: text/html, */*", "Expect:"}},
        {"form post, range, no cache",
         [](TransferRequest& r) {
             r.postData = "a=1";
             r.range = {5, 0};
             r.useCache = false;
             r.acceptTypes.clear();
         },
         Lines{"RANGE: bytes=5-", "Pragma: no-cache", "Cache-Control: no-cache",
               "Expect:", "Content-Type: application/x-www-form-urlencoded"}},
        {"upload with the caller's own Expect and type",
         [](TransferRequest& r) {
             r.uploadMode = true;
             r.acceptTypes.clear();
             r.addHeaders = {"Expect: 100-continue", "", "content-type: multipart/x"};
         },
         Lines{"Expect: 100-continue", "content-type: multipart/x"}},
        {"upload body without a type of its own",
         [](TransferRequest& r) {
             r.uploadMode = true;
             r.acceptTypes.clear();
         },
         Lines{"Expect:", "Content-Type:"}},
        {"CR LF in a line", [](TransferRequest& r) { r.addHeaders = {"X: a\r\nY: b"}; },
         std::nullopt},
        {"no name", [](TransferRequest& r) { r.addHeaders = {": v"}; }, std::nullopt},
        {"blank in the name", [](TransferRequest& r) { r.addHeaders = {"X Y: v"}; }, std::nullopt},
        {"LF in the agent", [](TransferRequest& r) { r.agent = "a\nInjected: 1"; }, std::nullopt},
        {"CR in the referrer", [](TransferRequest& r) { r.referer = "http://r/\r"; }, std::nullopt},
        {"NUL in the accept types",
         [](TransferRequest& r) { r.acceptTypes = QString("a") + QChar(0) + "b"; }, std::nullopt},
    };
    for (const Case& c : cases) {
        TransferRequest r;
        r.acceptTypes = "text/html, */*";
        c.arrange(r);
        EXPECT_EQ(BuildHeaderLines(r), c.lines) << c.name;
    }
}

TEST(HttpHeaders, BlockValues) {
    HeaderBlock block;
    block.statusLine = "HTTP/1.1 200 OK";
    block.lines = {"content-type: text/a",
                   "Content-Type: text/b",
                   "X-Nul: before" + QByteArray(1, '\0') + "after",
                   "X-Long: " + QByteArray(4096, 'x'),
                   "X-Fits: " + QByteArray(4095, 'y'),
                   "Content-TypeX: no"};
    struct Case {
        const char* name;
        bool found;
        QByteArray value;
    } cases[] = {
        {"Content-Type", true, "text/a"}, // the first, without regard to case
        {"X-Nul", true, "before"},        // up to the first zero byte
        {"X-Long", false, ""},            // does not fit the query buffer
        {"X-Fits", true, QByteArray(4095, 'y')},
        {"Content-TypeX", true, "no"},
        {"X", false, ""},
    };
    for (const Case& c : cases) {
        QByteArray value = "untouched";
        EXPECT_EQ(block.Value(c.name, value), c.found) << c.name;
        EXPECT_EQ(value, c.found ? c.value : QByteArray("untouched")) << c.name;
    }
    EXPECT_EQ(block.Raw().left(25), "HTTP/1.1 200 OK\r\ncontent-");
    EXPECT_TRUE(block.Raw().endsWith("Content-TypeX: no\r\n\r\n"));
}

TEST(HttpHeaders, TransferCodingVoidsTheLength) {
    struct Case {
        QList<QByteArray> lines;
        bool coded;
    } cases[] = {
        {{"Content-Length: 5"}, false},
        {{"Content-Length: 100", "Transfer-Encoding: chunked"}, true},
        {{"transfer-encoding: gzip, chunked"}, true},
        {{"Transfer-Encoding: identity"}, false},
        {{"Transfer-Encoding:"}, false},
    };
    for (const Case& c : cases) {
        HeaderBlock block;
        block.lines = c.lines;
        EXPECT_EQ(block.TransferCoded(), c.coded) << c.lines.join('|').toStdString();
    }
}

TEST(HttpHeaders, NumbersRealmsAndStatusLines) {
    const std::pair<QByteArray, int> lengths[] = {{" 42 ", 42},      {"2147483647", 2147483647},
                                                  {"2147483648", 0}, {"-1", 0},
                                                  {"1e3", 0},        {"", 0}};
    for (const auto& [text, value] : lengths)
        EXPECT_EQ(ContentLengthValue(text), value) << text.constData();
    const std::pair<QByteArray, QByteArray> realms[] = {
        {"Basic realm=\"Quill Zone\"", "Quill Zone"},
        {"Digest nonce=1", "Digest nonce=1"},
        {"Basic realm=\"", ""}};
    for (const auto& [value, realm] : realms)
        EXPECT_EQ(RealmOf(value), realm) << value.constData();
    const std::pair<QByteArray, int> statuses[] = {{"HTTP/1.1 404 Not Found", 404},
                                                   {"HTTP/2 200", 200},
                                                   {"HTTP/1.1 abc", 0},
                                                   {"HTTP/1.0", 0},
                                                   {"X-HTTP/1.1 200", -1},
                                                   {"", -1}};
    for (const auto& [line, status] : statuses)
        EXPECT_EQ(StatusOfLine(line), status) << line.constData();
}

TEST(HttpHeaders, OnlyTheFinalBlockIsTheAnswer) {
    struct Case {
        int status;
        bool proxyAnswer, hasLocation;
        BlockKind kind;
    } cases[] = {
        {100, false, false, BlockKind::Interim}, {101, false, true, BlockKind::Interim},
        {200, true, false, BlockKind::Tunnel},   {204, true, false, BlockKind::Tunnel},
        {407, true, false, BlockKind::Final},    {403, true, false, BlockKind::Final},
        {302, false, true, BlockKind::Followed}, {300, false, true, BlockKind::Followed},
        {305, false, true, BlockKind::Followed}, {399, false, true, BlockKind::Followed},
        {302, false, false, BlockKind::Final},   {200, false, true, BlockKind::Final},
        {404, false, true, BlockKind::Final},    {-1, false, false, BlockKind::Final},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyBlock(c.status, c.proxyAnswer, c.hasLocation), c.kind)
            << c.status << " proxy " << c.proxyAnswer << " location " << c.hasLocation;
}

} // namespace
