#include "ScreenScenes.h"
#include "engine/OcrRouting.h"
#include "engine/PpOcrLayout.h"
#include "engine/PpOcrModels.h"
#include "engine/Recognizer.h"
#include "ocr/OcrPicture.h"

#include <QFontDatabase>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using engine::OcrBackend;

const std::filesystem::path kModels = QUILL_PPOCR_MODEL_DIR;
const std::filesystem::path kReference = QUILL_PPOCR_REFERENCE_DIR;

bool HaveModels() {
    return std::filesystem::exists(kModels / engine::kPpOcrRecognitionFile);
}

// As the desktop program sends a crop: padded when small, JPEG of quality 90.
QByteArray Sent(const QImage& image) {
    return EncodeJpeg(PrepareOcrCanvas(image));
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), size_t(bytes.size())};
}

QString Joined(const engine::Recognition& result) {
    QStringList lines;
    for (const std::string& line : result.lines)
        lines << QString::fromStdString(line);
    return lines.join('\n');
}

std::unique_ptr<engine::Recognizer> shared;

class SharedRecognizer : public testing::Environment {
    void TearDown() override { shared.reset(); }
};
[[maybe_unused]] const auto* const environment =
    testing::AddGlobalTestEnvironment(new SharedRecognizer);

engine::Recognizer& Shared() {
    if (!shared)
        shared = std::make_unique<engine::Recognizer>(kModels);
    return *shared;
}

class PpOcrScenes : public testing::TestWithParam<size_t> {};

// Every picture is read at 0.97 or better, blanks between Latin words counted.
TEST_P(PpOcrScenes, ReadsScreenPictures) {
    if (!HaveModels())
        GTEST_SKIP() << "no PP-OCR models in " << kModels;
    static const std::vector<ScreenScene> scenes = ScreenScenes();
    const ScreenScene& scene = scenes[GetParam()];
    ASSERT_TRUE(Shared().HasPpOcr());
    const auto result = Shared().Recognize(View(Sent(scene.picture)), scene.languages);
    ASSERT_FALSE(result.error) << result.error.text;
    const QString got = Joined(result);
    const double accuracy = CharacterAccuracy(got, scene.text);
    std::printf("[ accuracy ] %-24s %6.2f %%\n", scene.name, 100 * accuracy);
    EXPECT_GE(accuracy, 0.97) << got.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Scenes, PpOcrScenes, testing::Range<size_t>(0, ScreenScenes().size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             std::string name = ScreenScenes()[info.param].name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
