#include "ScreenScenes.h"
#include "engine/CropPicture.h"
#include "engine/CropPreprocess.h"
#include "engine/OcrLanguages.h"
#include "engine/OcrText.h"
#include "engine/Recognizer.h"
#include "ocr/OcrPicture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <leptonica/allheaders.h>
#include <thread>

namespace {

using engine::Failure;

const QStringList kEnglish = {QStringLiteral("The meeting starts at nine tomorrow."),
                              QStringLiteral("Please bring the report and a pen."),
                              QStringLiteral("We will finish before lunch.")};
const QStringList kChinese = {QStringLiteral("会议将在明天上午九点开始，"),
                              QStringLiteral("请大家准时参加并带上报告。"),
                              QStringLiteral("如果有问题，可以随时联系我。")};

const QString kSans = QStringLiteral("Noto Sans CJK SC");
const QString kSerif = QStringLiteral("Noto Serif CJK SC");
const QString kDejaVu = QStringLiteral("DejaVu Sans");

struct Style {
    QString family;
    int pixelSize;
    bool lightOnDark;
    int scale = 1; // device pixel ratio: 2 draws the same layout with twice the pixels
};

// Text as a screen shows it, in a crop with a margin of about one line.
QImage Draw(const QStringList& lines, const Style& style, QSize size = {}) {
    QFont font(style.family);
    font.setPixelSize(style.pixelSize);
    const QFontMetrics metrics(font);
    const int margin = style.pixelSize;
    const int lineStep = metrics.height() * 5 / 4;
    if (size.isEmpty()) {
        int width = 0;
        for (const QString& line : lines)
            width = std::max(width, metrics.horizontalAdvance(line));
        size = QSize(width + 2 * margin, int(lines.size()) * lineStep + margin);
    }
    QImage image(size * style.scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(style.scale);
    image.fill(style.lightOnDark ? QColor(40, 44, 52) : QColor(250, 250, 250));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(style.lightOnDark ? QColor(220, 223, 228) : QColor(30, 30, 30));
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(margin, margin / 2 + int(i) * lineStep + metrics.ascent(), lines[i]);
    painter.end();
    image.setDevicePixelRatio(1);
    return image;
}

// As the desktop program sends a crop: padded when small, JPEG of quality 90.
QByteArray Sent(const QImage& image) {
    return EncodeJpeg(PrepareOcrCanvas(image));
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

QStringList Lines(const engine::Recognition& result) {
    QStringList list;
    for (const std::string& line : result.lines)
        list << QString::fromStdString(line);
    return list;
}

bool Installed(const QString& family) {
    return QFontDatabase::families().contains(family);
}

// One recogniser for the program, as a worker thread keeps one. It goes
// before static destruction: Tesseract's shared dictionary cache is a static
// of its own and frees nothing once it is gone.
std::unique_ptr<engine::Recognizer> shared;

class SharedRecognizer : public testing::Environment {
    void TearDown() override { shared.reset(); }
};
[[maybe_unused]] const auto* const environment =
    testing::AddGlobalTestEnvironment(new SharedRecognizer);

engine::Recognizer& Shared() {
    if (!shared)
        shared = std::make_unique<engine::Recognizer>();
    return *shared;
}

struct PictureCase {
    const char* name;
    bool chinese;
    Style style;
};

class Recognition : public testing::TestWithParam<PictureCase> {};

// The automatic set, as the desktop program asks for by default.
TEST_P(Recognition, ReadsScreenText) {
    const PictureCase& c = GetParam();
    if (!Installed(c.style.family))
        GTEST_SKIP() << c.style.family.toStdString() << " is not installed";
    const QStringList& lines = c.chinese ? kChinese : kEnglish;
    const auto result = Shared().Recognize(View(Sent(Draw(lines, c.style))), "chi_sim+eng");
    ASSERT_FALSE(result.error) << result.error.text;
    const QString got = Lines(result).join('\n');
    const double accuracy = CharacterAccuracy(got, lines.join('\n'));
    std::printf("[ accuracy ] %-22s %6.2f %%\n", c.name, 100 * accuracy);
    EXPECT_GE(accuracy, 0.97) << got.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Recognition,
    testing::Values(PictureCase{"EnDejaVu12Dark", false, {kDejaVu, 12, false}},
                    PictureCase{"EnDejaVu16Light", false, {kDejaVu, 16, true}},
                    PictureCase{"EnDejaVu20DarkX2", false, {kDejaVu, 20, false, 2}},
                    PictureCase{"EnSans13Dark", false, {kSans, 13, false}},
                    PictureCase{"EnSans12LightX2", false, {kSans, 12, true, 2}},
                    PictureCase{"EnSerif15Dark", false, {kSerif, 15, false}},
                    PictureCase{"EnSerif18Light", false, {kSerif, 18, true}},
                    PictureCase{"ZhSans12Dark", true, {kSans, 12, false}},
                    PictureCase{"ZhSans14Light", true, {kSans, 14, true}},
                    PictureCase{"ZhSans16DarkX2", true, {kSans, 16, false, 2}},
                    PictureCase{"ZhSans20Light", true, {kSans, 20, true}},
                    PictureCase{"ZhSerif13Dark", true, {kSerif, 13, false}},
                    PictureCase{"ZhSerif16Light", true, {kSerif, 16, true}},
                    PictureCase{"ZhSerif18DarkX2", true, {kSerif, 18, false, 2}},
                    PictureCase{"ZhSerif12LightX2", true, {kSerif, 12, true, 2}}),
    [](const testing::TestParamInfo<PictureCase>& info) { return std::string(info.param.name); });

// Blanks as the picture has them, whatever Tesseract's word breaks say.
TEST(Recognizer, KeepsLineOrderAndTheBlanksThePictureShows) {
    if (!Installed(kSans))
        GTEST_SKIP();
    struct Case {
        QStringList lines;
        const char* languages;
    };
    const Case cases[] = {
        {{"第一行，打开文件。", "我们使用 Qt 6 编写这个程序。", "请打开 Settings 菜单。"},
         "chi_sim+eng"},
        {{"第一行，打开文件。", "我们使用Qt 6编写这个程序。", "请打开Settings菜单。"},
         "chi_sim+eng"},
        {{"오늘은 날씨가 아주 좋습니다.", "내일 회의는 오전 열 시에 시작합니다."}, "kor+eng"},
    };
    for (const Case& c : cases) {
        for (const Style& style : {Style{kSans, 14, false}, Style{kSans, 18, true}}) {
            const auto result = Shared().Recognize(View(Sent(Draw(c.lines, style))), c.languages);
            ASSERT_FALSE(result.error) << result.error.text;
            EXPECT_EQ(Lines(result), c.lines) << style.pixelSize;
        }
    }
}

TEST(Recognizer, ReadsPngAndBmpAsWellAsJpeg) {
    const QImage image = Draw(kEnglish, {kDejaVu, 16, false});
    for (const char* format : {"PNG", "BMP"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(image.save(&buffer, format));
        const auto result = Shared().Recognize(View(bytes), "eng");
        ASSERT_FALSE(result.error) << format << ": " << result.error.text;
        EXPECT_EQ(Lines(result), kEnglish) << format;
    }
}

// A small JPEG whose frame header claims another size.
QByteArray JpegClaiming(int width, int height) {
    QImage tiny(16, 16, QImage::Format_RGB32);
    tiny.fill(Qt::white);
    QByteArray jpeg = EncodeJpeg(tiny);
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0)
        return {};
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width);
    return jpeg;
}

// A bare BMP header of 24-bit pixels, with `pixelBytes` bytes of pixels.
QByteArray BmpClaiming(int width, int height, int pixelBytes) {
    QByteArray bmp(54 + pixelBytes, '\0');
    const auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + i] = char(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, quint32(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, quint32(width));
    put32(22, quint32(height));
    bmp[26] = 1;
    bmp[28] = 24;
    return bmp;
}

// A small PNG whose header claims another size.
QByteArray PngClaiming(int width, int height) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage tiny(16, 16, QImage::Format_ARGB32);
    tiny.fill(Qt::white);
    tiny.save(&buffer, "PNG");
    const auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            png[at + i] = char(v >> (8 * (3 - i)));
    };
    put32(16, quint32(width)); // in IHDR, the first chunk
    put32(20, quint32(height));
    return png;
}

std::atomic<size_t> largestPixAllocation{0};

void* CountingAlloc(size_t size) {
    size_t seen = largestPixAllocation.load();
    while (size > seen && !largestPixAllocation.compare_exchange_weak(seen, size)) {
    }
    return std::malloc(size);
}

TEST(Recognizer, RefusesWhatIsNoFitPicture) {
    const QByteArray jpeg = Sent(Draw(kEnglish, {kDejaVu, 16, false}));
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(Draw(kEnglish, {kDejaVu, 16, false}).save(&buffer, "PNG"));
    struct Case {
        const char* name;
        QByteArray bytes;
        Failure failure;
    };
    const Case cases[] = {
        {"empty", QByteArray(), Failure::NotAPicture},
        {"text", QByteArray("This is no picture, just a sentence or two of text."),
         Failure::NotAPicture},
        {"truncated JPEG", jpeg.left(jpeg.size() / 2), Failure::NotAPicture},
        {"truncated PNG", png.left(png.size() / 2), Failure::NotAPicture},
        {"BMP without its pixels", BmpClaiming(500, 500, 64), Failure::NotAPicture},
        {"JPEG of 60000 x 60000", JpegClaiming(60000, 60000), Failure::TooLarge},
        {"JPEG of 9000 x 9000", JpegClaiming(9000, 9000), Failure::TooLarge},
        {"PNG of 6324 x 6324", PngClaiming(6324, 6324), Failure::TooLarge},
        {"PNG of 5001 x 5000", PngClaiming(5001, 5000), Failure::TooLarge},
        {"BMP of 60000 x 60000", BmpClaiming(60000, 60000, 0), Failure::TooLarge},
        {"BMP of 12000 x 1", BmpClaiming(12000, 1, 36000), Failure::TooLarge},
    };
    // Every refusal comes from the header: no picture-sized buffer is ever made.
    setPixMemoryManager(CountingAlloc, std::free);
    for (const Case& c : cases) {
        largestPixAllocation = 0;
        const auto result = Shared().Recognize(View(c.bytes), "eng");
        EXPECT_EQ(result.error.failure, c.failure) << c.name << ": " << result.error.text;
        EXPECT_FALSE(result.error.text.empty()) << c.name;
        EXPECT_TRUE(result.lines.empty()) << c.name;
        if (c.failure == Failure::TooLarge) {
            EXPECT_LT(largestPixAllocation.load(), 1u << 20) << c.name;
        }
    }
    setPixMemoryManager(std::malloc, std::free);
}

TEST(Recognizer, RefusesLanguageSetsItCannotServe) {
    const QByteArray picture = Sent(Draw(kEnglish, {kDejaVu, 16, false}));
    for (const char* languages :
         {"", "eng+", "+eng", "../../etc/eng", "eng chi_sim", "~eng", "eng+eng+eng+eng+eng"})
        EXPECT_EQ(Shared().Recognize(View(picture), languages).error.failure, Failure::BadRequest)
            << languages;
    const auto missing = Shared().Recognize(View(picture), "eng+xyz");
    EXPECT_EQ(missing.error.failure, Failure::EngineFailed);
    EXPECT_NE(missing.error.text.find("xyz"), std::string::npos) << missing.error.text;
}

TEST(Recognizer, FlatPictureHasNoLines) {
    QImage flat(300, 100, QImage::Format_RGB32);
    flat.fill(QColor(40, 44, 52));
    const auto result = Shared().Recognize(View(Sent(flat)), "chi_sim+eng");
    EXPECT_FALSE(result.error) << result.error.text;
    EXPECT_TRUE(result.lines.empty());
}

// Scaling to the size Tesseract reads best, and which way round the text is,
// for the crops the desktop program sends (small ones come padded in white).
TEST(Recognizer, ABusyPictureStopsAtTheDeadline) {
    // Random dots take Tesseract tens of seconds; a short deadline ends it.
    QImage noise(1000, 1000, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random.bounded(2) ? 0xFFFFFFFF : 0xFF000000);
    engine::Recognizer recognizer;
    recognizer.SetDeadline(std::chrono::milliseconds(300));
    const engine::Recognition result =
        recognizer.Recognize(EncodeJpeg(noise).toStdString(), "chi_tra");
    EXPECT_EQ(result.error.failure, engine::Failure::EngineFailed);
    EXPECT_NE(result.error.text.find("longer than"), std::string::npos) << result.error.text;
}

TEST(CropPreprocess, ScalesAndInvertsFromThePicture) {
    const QStringList latin = {"Recognised text of a crop", "on the screen, 2 lines"};
    const QStringList button = {"确定"}; // dense ink: half of its own box
    struct Case {
        Style style;
        QSize crop;
        const QStringList& lines;
    };
    const Case cases[] = {
        {{kDejaVu, 12, false}, {400, 120}, latin}, {{kDejaVu, 16, true}, {400, 120}, latin},
        {{kDejaVu, 20, false}, {400, 120}, latin}, {{kSans, 12, true}, {400, 120}, latin},
        {{kSans, 20, false}, {400, 120}, latin},   {{kDejaVu, 12, true}, {260, 60}, latin},
        {{kDejaVu, 14, false}, {260, 60}, latin},  {{kSans, 12, true}, {60, 26}, button},
        {{kSans, 14, false}, {70, 28}, button},    {{kSans, 40, true}, {200, 70}, button},
    };
    for (const Case& c : cases) {
        if (!Installed(c.style.family))
            continue;
        const QByteArray jpeg = Sent(Draw(c.lines, c.style, c.crop));
        const engine::DecodedCrop decoded = engine::DecodeCrop(View(jpeg));
        ASSERT_FALSE(decoded.error) << decoded.error.text;
        const engine::PixPtr grey = engine::ToGrey(decoded.pix.get());
        const engine::CropPlan plan = engine::PlanCrop(grey.get());
        QFont font(c.style.family);
        font.setPixelSize(c.style.pixelSize);
        // Latin by its capitals, CJK by its (nearly em-high) characters.
        const double height =
            (&c.lines == &button ? c.style.pixelSize : QFontMetricsF(font).capHeight()) *
            plan.scale;
        const std::string name =
            c.lines[0].toStdString() + " " + std::to_string(c.style.pixelSize) + " px in " +
            std::to_string(c.crop.width()) + "x" + std::to_string(c.crop.height());
        EXPECT_GE(height, 28) << name;
        EXPECT_LE(height, 42) << name;
        EXPECT_EQ(plan.invert, c.style.lightOnDark) << name;
    }
}

TEST(Recognizer, LanguageChangesKeepEachSetRight) {
    if (!Installed(kSans))
        GTEST_SKIP();
    const QByteArray chinese = Sent(Draw(kChinese, {kSans, 16, false}));
    const QByteArray english = Sent(Draw(kEnglish, {kDejaVu, 16, false}));
    engine::Recognizer recognizer;
    // More sets than the recogniser keeps, and back: evicted ones load again.
    for (const char* languages : {"chi_sim+eng", "eng", "jpn+eng", "kor+eng", "chi_sim+eng"}) {
        const bool english_only = std::string(languages) == "eng";
        const QByteArray& picture = english_only ? english : chinese;
        const QStringList& lines = english_only ? kEnglish : kChinese;
        const auto result = recognizer.Recognize(View(picture), languages);
        ASSERT_FALSE(result.error) << result.error.text;
        if (std::string(languages) == "chi_sim+eng" || english_only) {
            EXPECT_EQ(Lines(result), lines) << languages;
        }
    }
}

int ThreadCount() {
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                             std::filesystem::directory_iterator()));
}

TEST(Recognizer, WorkersRecogniseAtOnceWithoutThreadsOfTheirOwn) {
    if (!Installed(kSans))
        GTEST_SKIP();
    const QByteArray pictures[] = {Sent(Draw(kChinese, {kSans, 14, false})),
                                   Sent(Draw(kEnglish, {kSans, 14, true}))};
    std::vector<QStringList> expected;
    for (const QByteArray& picture : pictures)
        expected.push_back(Lines(Shared().Recognize(View(picture), "chi_sim+eng")));
    // A Tesseract built with OpenMP would start a team of threads for every
    // thread that recognises, and leave it behind.
    const int before = ThreadCount();
    int during = 0;
    std::thread([&] {
        engine::Recognizer recognizer;
        recognizer.Recognize(View(pictures[0]), "chi_sim+eng");
        during = ThreadCount();
    }).join();
    EXPECT_EQ(during, before + 1);

    std::vector<std::vector<QStringList>> seen(3);
    std::vector<std::thread> workers;
    for (auto& results : seen)
        workers.emplace_back([&pictures, &results] {
            engine::Recognizer recognizer;
            for (int round = 0; round < 2; ++round)
                for (const QByteArray& picture : pictures)
                    results.push_back(Lines(recognizer.Recognize(View(picture), "chi_sim+eng")));
        });
    for (std::thread& worker : workers)
        worker.join();
    for (const auto& results : seen)
        for (size_t i = 0; i < results.size(); ++i)
            EXPECT_EQ(results[i], expected[i % 2]);
}

TEST(OcrLanguages, MapsEveryCatalogueCodeToDataThatIsThere) {
    QTemporaryDir data;
    for (const char* name : {"eng", "chi_sim", "chi_tra", "kor", "deu"})
        QFile(data.filePath(QString(name) + ".traineddata")).open(QIODevice::WriteOnly);
    const std::filesystem::path directory = data.path().toStdString();
    struct Case {
        const char* code;
        std::optional<std::string> languages;
    };
    const Case cases[] = {
        {"auto", "chi_sim+eng"}, {"zh", "chi_sim+eng"}, {"cht", "chi_tra+eng"},
        {"en", "eng"},           {"de", "deu"},         {"kor", "kor+eng"},
        {"jp", "chi_sim+eng"},   {"ru", "chi_sim+eng"}, {"vie", "chi_sim+eng"},
        {"xx", std::nullopt},    {"", std::nullopt},    {"AUTO", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::OcrLanguagesIn(c.code, directory), c.languages) << c.code;
    for (const char* code : {"auto", "zh",  "cht", "en", "de",  "ru",  "fra", "kor", "jp",
                             "ara",  "est", "bul", "pl", "dan", "fin", "nl",  "cs",  "rom",
                             "pt",   "swe", "th",  "el", "spa", "hu",  "it",  "vie"}) {
        const auto languages = engine::OcrLanguagesFor(code);
        ASSERT_TRUE(languages) << code;
        EXPECT_EQ(engine::MissingOcrLanguage(*languages, engine::OcrDataDirectory()), "") << code;
    }
}

TEST(OcrText, BlanksFollowScriptAndGap) {
    using engine::OcrGlyph;
    const int line = 40; // a blank is a gap of 0.18 of it or more (0.225 between Hangul)
    struct Case {
        std::vector<OcrGlyph> glyphs;
        const char* text;
    };
    const Case cases[] = {
        {{{"你"}, {"好", true, 20}, {"世", true, 3}}, "你好世"},
        {{{"a"}, {"b", true, 0}, {"c"}}, "a bc"},
        {{{"用"}, {"Q", true, 4}, {"t"}}, "用Qt"},
        {{{"用"}, {"Q", true, 9}, {"t"}, {"6", true, 0}, {"编", true, 9}}, "用 Qt 6 编"},
        {{{"오"}, {"늘", true, 8}, {"은"}, {"날", true, 10}}, "오늘은 날"},
        {{{"s"}, {"，", true, 30}, {"A", true, 30}}, "s，A"},
        {{{"行"}, {":", true, 12}, {"打", true, 12}}, "行:打"},
        {{{"다"}, {".", false, 0}, {"내", true, 12}}, "다. 내"},
        {{{"ا"}, {"ب", true, 0}}, "ا ب"},
        {{{""}, {"x", true, 30}}, "x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::JoinOcrGlyphs(c.glyphs, line), c.text);

    const std::vector<bool> ink = {true, false, false, true, false, false, false, false, true};
    EXPECT_EQ(engine::GapNear(ink, 2, 1), 2);
    EXPECT_EQ(engine::GapNear(ink, 3, 1), 4); // the widest run within reach
    EXPECT_EQ(engine::GapNear(ink, 0, 0), 0);
    EXPECT_EQ(engine::GapNear(ink, 20, 3), 0);
}

} // namespace
