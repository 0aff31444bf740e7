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

} // namespace

std::vector<TextBox> DetectText(cv::dnn::Net& detector, const cv::Mat& grey) {
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
    std::vector<TextBox> boxes;
    for (const auto& contour : contours) {
        const cv::RotatedRect core = cv::minAreaRect(contour);
        if (std::min(core.size.width, core.size.height) < kMinCoreSide)
            continue;
        const float score = MeanInside(probability, contour);
        if (score < kMinBoxScore)
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
        boxes.push_back({box, score});
    }
    return boxes;
}

} // namespace engine
