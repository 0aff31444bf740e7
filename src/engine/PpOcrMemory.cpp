#include "engine/PpOcrMemory.h"

#include "engine/PpOcrDetect.h"
#include "engine/PpOcrLine.h"
#include "engine/RecognitionMemory.h"

#include <algorithm>
#include <cmath>

namespace engine {

namespace {

// The grey picture (Leptonica's and OpenCV's copy) and, on a picture larger
// than the detector takes, the plan that measures its text (7 a pixel).
constexpr double kGreyCost = 2;
constexpr double kPlanCost = 7;
constexpr double kDetectorCost = 240; // per input pixel, the input blob included
constexpr double kLineColumnCost = 25 * 1024;
constexpr double kFixed = 4 << 20;
// A line piece is at most kMaxLineWidth columns, and no wider than the
// picture scaled from the lowest line the detector keeps (8 pixels) to 48.
constexpr double kWidestScale = double(kLineHeight) / 8;

} // namespace

std::size_t PpOcrRecognitionBytes(const CropHeader& header, const cv::Size& detectorInput) {
    const double pixels = double(header.width) * double(header.height);
    const bool large = std::max(header.width, header.height) > kMaxDetectionSide;
    const double columns = std::min(double(kMaxLineWidth), kWidestScale * double(header.width));
    const double working = kGreyCost * pixels + kDetectorCost * double(detectorInput.area()) +
                           kLineColumnCost * columns + kFixed;
    const double planning = (kGreyCost + (large ? kPlanCost : 0)) * pixels;
    return std::size_t(
        std::ceil(std::max({DecodeBytesPerPixel(header) * pixels, planning, working})));
}

} // namespace engine
