#pragma once

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <vector>

namespace engine {

// The longest side the detector sees at once; larger pictures are scaled
// down to it, or read in tiles of it where that would shrink their text
// past what the detector finds. Its buffers, which OpenCV keeps at the
// largest input seen, stay bounded either way.
inline constexpr int kMaxDetectionSide = 960;

// The text regions of an 8-bit grey picture, in its pixels: each the
// detector's tight core grown to the text's full extent, within the picture.
// `textHeight`: the height of tall letters in the picture (0: unknown).
std::vector<cv::Rect> DetectText(cv::dnn::Net& detector, const cv::Mat& grey, int textHeight);

// The size of the largest input DetectText gives the detector for a picture
// (a tile, or the whole picture scaled to fit); with `textHeight` 0, the
// largest it may give for any text.
cv::Size DetectorInput(const cv::Size& picture, int textHeight);

} // namespace engine
