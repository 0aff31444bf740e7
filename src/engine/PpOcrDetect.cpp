#include "engine/PpOcrDetect.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace engine {

namespace {

constexpr float kThreshold = 0.3f;
constexpr float kMinBoxScore = 0.6f;
// The detector marks a shrunk core of each text region; it is grown back by
// area * ratio / perimeter on every side, as the model was trained.
constexpr float kUnclipRatio = 1.5f;
constexpr float kMinCoreSide = 3;

int MultipleOf32(double side) {
    return std::max(32, int(std::lround(side / 32)) * 32);
}

// The detector's input: the picture as three equal channels, normalised with
// the ImageNet statistics the model was trained on.
cv::Mat Blob(const cv::Mat& grey) {
    static const float kMean[3] = {0.485f, 0.456f, 0.406f};
    static const float kStd[3] = {0.229f, 0.224f, 0.225f};
    const int size[4] = {1, 3, grey.rows, grey.cols};
    cv::Mat blob(4, size, CV_32F);
    for (int c = 0; c < 3; ++c) {
        cv::Mat plane(grey.rows, grey.cols, CV_32F, blob.ptr<float>(0, c));
        grey.convertTo(plane, CV_32F, 1.0 / (255.0 * kStd[c]), -kMean[c] / kStd[c]);
    }
    return blob;
}

float MeanInside(const cv::Mat& probability, const std::vector<cv::Point>& contour) {
    const cv::Rect bounds =
        cv::boundingRect(contour) & cv::Rect(0, 0, probability.cols, probability.rows);
    if (bounds.empty())
        return 0;
    cv::Mat mask = cv::Mat::zeros(bounds.size(), CV_8U);
    std::vector<cv::Point> shifted;
    for (const cv::Point& p : contour)
        shifted.push_back(p - bounds.tl());
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{shifted}, 255);
    return float(cv::mean(probability(bounds), mask)[0]);
}

// Text whose tall letters come out smaller than this after scaling is lost
// to the detector: 14 px text scaled by 0.5 (7 px) reads, scaled by 0.4
// (4 px letters) it mostly does not.
constexpr int kMinScaledText = 8;
// Tiles overlap so that a line cut by a tile's edge is whole, or in two
// overlapping pieces, in one of them.
constexpr int kTileOverlap = 64;

// The text regions of one input of at most kMaxDetectionSide a side, as
// rectangles of `grey`'s pixels.
void DetectPart(cv::dnn::Net& detector, const cv::Mat& grey, std::vector<cv::Rect>& out,
                cv::Point offset) {
    const double scale =
        std::min(1.0, double(kMaxDetectionSide) / double(std::max(grey.rows, grey.cols)));
    const int width = MultipleOf32(grey.cols * scale), height = MultipleOf32(grey.rows * scale);
    cv::Mat input;
    cv::resize(grey, input, {width, height}, 0, 0, scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    detector.setInput(Blob(input));
    const cv::Mat output = detector.forward();
    const cv::Mat probability(height, width, CV_32F, const_cast<float*>(output.ptr<float>()));

    cv::Mat bitmap = probability > kThreshold;
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(bitmap, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
    const float sx = float(grey.cols) / float(width), sy = float(grey.rows) / float(height);
    for (const auto& contour : contours) {
        const cv::RotatedRect core = cv::minAreaRect(contour);
        if (std::min(core.size.width, core.size.height) < kMinCoreSide)
            continue;
        if (MeanInside(probability, contour) < kMinBoxScore)
            continue;
        const double area = cv::contourArea(contour);
        const double perimeter = cv::arcLength(contour, true);
        const float grow = perimeter > 0 ? float(area * kUnclipRatio / perimeter) : 0;
        cv::RotatedRect box = core;
        box.size.width += 2 * grow;
        box.size.height += 2 * grow;
        // Back to the picture's pixels; screen text runs straight, so the
        // scale of each axis applies to the box's sides as they lie.
        box.center.x = (box.center.x + 0.5f) * sx - 0.5f;
        box.center.y = (box.center.y + 0.5f) * sy - 0.5f;
        const bool upright = std::fmod(std::abs(box.angle) + 45.f, 180.f) < 90.f;
        box.size.width *= upright ? sx : sy;
        box.size.height *= upright ? sy : sx;
        const cv::Rect rect = box.boundingRect() & cv::Rect({0, 0}, grey.size());
        if (!rect.empty())
            out.push_back(rect + offset);
    }
}

// Pieces of one line from neighbouring tiles, and a line found twice where
// tiles overlap, become one region.
void JoinAcrossTiles(std::vector<cv::Rect>& boxes) {
    const auto joinable = [](const cv::Rect& a, const cv::Rect& b) {
        const int rows = std::min(a.br().y, b.br().y) - std::max(a.y, b.y);
        return !(a & b).empty() && rows * 2 >= std::min(a.height, b.height);
    };
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size();) {
            if (!joinable(boxes[i], boxes[j])) {
                ++j;
                continue;
            }
            // The grown box may now reach boxes it was checked against.
            boxes[i] |= boxes[j];
            boxes.erase(boxes.begin() + std::ptrdiff_t(j));
            j = i + 1;
        }
}

double FitScale(const cv::Size& picture) {
    return std::min(1.0,
                    double(kMaxDetectionSide) / double(std::max(picture.width, picture.height)));
}

// Tiles are scaled only as far as the text stays readable.
double TileScale(int textHeight) {
    return std::min(1.0, double(kMinScaledText) / textHeight);
}

bool Tiled(const cv::Size& picture, int textHeight) {
    return textHeight > 0 && textHeight * FitScale(picture) < kMinScaledText;
}

} // namespace

cv::Size DetectorInput(const cv::Size& picture, int textHeight) {
    const double fit = FitScale(picture);
    if (fit == 1 || (textHeight > 0 && !Tiled(picture, textHeight)))
        return {MultipleOf32(picture.width * fit), MultipleOf32(picture.height * fit)};
    // A tile: at most the detector's side, at most the scaled picture.
    const double scale = textHeight > 0 ? TileScale(textHeight) : 1;
    return {std::min(kMaxDetectionSide, MultipleOf32(picture.width * scale)),
            std::min(kMaxDetectionSide, MultipleOf32(picture.height * scale))};
}

std::vector<cv::Rect> DetectText(cv::dnn::Net& detector, const cv::Mat& grey, int textHeight) {
    std::vector<cv::Rect> boxes;
    if (!Tiled(grey.size(), textHeight)) {
        DetectPart(detector, grey, boxes, {0, 0});
        return boxes;
    }
    const double scale = TileScale(textHeight);
    cv::Mat scaled = grey;
    if (scale < 1)
        cv::resize(grey, scaled, {}, scale, scale, cv::INTER_AREA);
    const int step = kMaxDetectionSide - kTileOverlap;
    std::vector<cv::Rect> found;
    for (int y = 0; y < scaled.rows; y += step) {
        for (int x = 0; x < scaled.cols; x += step) {
            const cv::Rect tile = cv::Rect(x, y, kMaxDetectionSide, kMaxDetectionSide) &
                                  cv::Rect({0, 0}, scaled.size());
            DetectPart(detector, scaled(tile), found, tile.tl());
            if (x + kMaxDetectionSide >= scaled.cols)
                break;
        }
        if (y + kMaxDetectionSide >= scaled.rows)
            break;
    }
    JoinAcrossTiles(found);
    const double back = 1 / scale;
    for (const cv::Rect& r : found) {
        const cv::Rect box(int(std::floor(r.x * back)), int(std::floor(r.y * back)),
                           int(std::ceil(r.width * back)), int(std::ceil(r.height * back)));
        if (const cv::Rect inside = box & cv::Rect({0, 0}, grey.size()); !inside.empty())
            boxes.push_back(inside);
    }
    return boxes;
}

} // namespace engine
