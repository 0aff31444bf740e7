#include "engine/PpOcrRecognizer.h"

#include "engine/CropPreprocess.h"
#include "engine/PpOcrDetect.h"
#include "engine/PpOcrLayout.h"
#include "engine/PpOcrLine.h"
#include "engine/PpOcrMemory.h"
#include "engine/PpOcrModels.h"
#include "engine/RecognitionMemory.h"

#include <leptonica/allheaders.h>
#include <mutex>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace engine {

namespace {

cv::Mat MatOf(Pix* grey) {
    const int width = int(pixGetWidth(grey)), height = int(pixGetHeight(grey));
    cv::Mat mat(height, width, CV_8U);
    for (int y = 0; y < height; ++y) {
        const l_uint32* row = pixGetData(grey) + std::ptrdiff_t(y) * pixGetWpl(grey);
        uchar* out = mat.ptr<uchar>(y);
        for (int x = 0; x < width; ++x)
            out[x] = uchar(GET_DATA_BYTE(row, x));
    }
    return mat;
}

// OpenCV keeps a network's buffers at the largest input it was given: 240
// bytes a pixel of the detector's input (200 MiB at 960 x 960), 25 KiB a
// column of a line. Up to these sizes, as a screen crop needs, they stay for
// the next picture; past them a tiny input gives them back, so an idle
// worker holds little whatever it read before.
constexpr int kKeptDetectorPixels = 256 * 1024;
constexpr int kKeptLineColumns = 1024;

cv::Size SizeOf(const CropHeader& header) {
    return {int(header.width), int(header.height)};
}

} // namespace

std::unique_ptr<PpOcrRecognizer> PpOcrRecognizer::Load(const std::filesystem::path& directory,
                                                       Error& error) {
    // Each worker reads on its own thread, as Tesseract does. OpenCV's own
    // threads read a line or a picture no faster on two cores (35.7 against
    // 38.7 ms a line, 69.7 against 66.3 ms a detection), and on a busy
    // machine wait for each other.
    static std::once_flag once;
    std::call_once(once, [] { cv::setNumThreads(1); });
    std::unique_ptr<PpOcrModels> models = LoadPpOcrModels(directory, error);
    if (!models)
        return nullptr;
    return std::unique_ptr<PpOcrRecognizer>(new PpOcrRecognizer(std::move(models)));
}

PpOcrRecognizer::PpOcrRecognizer(std::unique_ptr<PpOcrModels> models)
    : models_(std::move(models)) {}

PpOcrRecognizer::~PpOcrRecognizer() = default;

Recognition PpOcrRecognizer::Recognize(std::string_view picture) {
    const CropHeader header = ReadCropHeader(picture);
    if (header.error)
        return {header.error, {}};
    MemoryBudget& budget = DecodeBudget();
    // The largest detector input with the widest line needs more than the
    // whole default budget: such a picture waits for all of it, and runs alone.
    const std::size_t bytes =
        std::min(PpOcrRecognitionBytes(header, DetectorInput(SizeOf(header), 0)), budget.total());
    Error refused;
    MemoryBudget::Reservation memory = budget.Reserve(bytes, refused);
    if (refused) {
        refused.text = "recognising a picture of " + std::to_string(header.width) + " x " +
                       std::to_string(header.height) + " pixels " + refused.text;
        return {std::move(refused), {}};
    }
    DecodedCrop decoded = DecodeCrop(picture);
    if (decoded.error)
        return {std::move(decoded.error), {}};
    const PixPtr grey = ToGrey(decoded.pix.get());
    decoded.pix.reset();
    if (!grey)
        return {{Failure::EngineFailed, "out of memory"}, {}};
    return Read(grey.get(), header, memory);
}

// The picture goes to the detector as it is, grey. Measured on screen
// pictures of 9-16 px text: inverting light-on-dark lines changed nothing
// (the model reads both), and doubling pictures of small text for the
// detector read worse (9 px: 0.988 to 0.975, 10 px: 1.000 to 0.963).
Recognition PpOcrRecognizer::Read(Pix* grey, const CropHeader& header,
                                  MemoryBudget::Reservation& memory) {
    int detectorPixels = 0, widestLine = 0; // what the networks were given at most
    Recognition result = [&]() -> Recognition {
        Recognition lines;
        try {
            const cv::Mat picture = MatOf(grey);
            // Only a picture the detector sees scaled down needs its text's size.
            const int textHeight = std::max(picture.rows, picture.cols) > kMaxDetectionSide
                                       ? PlanCrop(grey).textHeight
                                       : 0;
            const cv::Size input = DetectorInput(picture.size(), textHeight);
            detectorPixels = input.area();
            memory.ShrinkTo(PpOcrRecognitionBytes(header, input));
            std::vector<cv::Rect> boxes = DetectText(models_->detection, picture, textHeight);
            const std::vector<TextLine> layout = ArrangeLines(std::move(boxes));
            struct Crop {
                size_t line, box;
                cv::Mat pixels;
                int width;
            };
            std::vector<Crop> crops;
            std::vector<std::vector<std::string>> texts(layout.size());
            for (size_t i = 0; i < layout.size(); ++i) {
                texts[i].resize(layout[i].boxes.size());
                for (size_t k = 0; k < layout[i].boxes.size(); ++k) {
                    const cv::Mat region = picture(layout[i].boxes[k]);
                    const cv::Mat pixels = layout[i].vertical ? ColumnAsLine(region) : region;
                    crops.push_back({i, k, pixels, LineInputWidth(pixels.size())});
                }
            }
            // Lines of one input size one after another: each new size sets
            // the network up anew.
            std::stable_sort(crops.begin(), crops.end(),
                             [](const Crop& a, const Crop& b) { return a.width < b.width; });
            for (const Crop& crop : crops) {
                widestLine = std::max(widestLine, crop.width);
                texts[crop.line][crop.box] = ReadTextLine(*models_, crop.pixels, lines.error);
                if (lines.error)
                    return {std::move(lines.error), {}};
            }
            for (const std::vector<std::string>& pieces : texts) {
                std::string text;
                for (const std::string& piece : pieces) {
                    if (!text.empty() && !piece.empty())
                        text += ' ';
                    text += piece;
                }
                if (!text.empty())
                    lines.lines.push_back(std::move(text));
            }
        } catch (const cv::Exception& e) {
            return {{Failure::EngineFailed, "recognition failed: " + e.msg}, {}};
        }
        return lines;
    }();
    ReleaseLargeBuffers(detectorPixels, widestLine);
    return result;
}

void PpOcrRecognizer::ReleaseLargeBuffers(int detectorPixels, int widestLine) {
    const auto shrink = [](cv::dnn::Net& net, int height, int width) {
        const int size[4] = {1, 3, height, width};
        net.setInput(cv::Mat(4, size, CV_32F, cv::Scalar(0)));
        net.forward();
    };
    try {
        if (detectorPixels > kKeptDetectorPixels)
            shrink(models_->detection, 32, 32);
        if (widestLine > kKeptLineColumns)
            shrink(models_->recognition, kLineHeight, 8);
    } catch (const cv::Exception&) {
        // The buffers stay as they are; the next picture resizes them anyway.
    }
}

} // namespace engine
