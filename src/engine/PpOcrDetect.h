#pragma once

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <vector>

namespace engine {

// A text region the detector found, in the picture's pixels: a rectangle,
// turned as the text runs, grown from the detector's tight core to the
// text's full extent.
struct TextBox {
    cv::RotatedRect box;
    float score = 0; // mean probability of text inside the core
};

// The longest side the detector sees; larger pictures are scaled down to it.
inline constexpr int kMaxDetectionSide = 960;

// Runs the detector on an 8-bit grey picture.
std::vector<TextBox> DetectText(cv::dnn::Net& detector, const cv::Mat& grey);

} // namespace engine
