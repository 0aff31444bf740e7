#pragma once

#include "engine/CropPicture.h"

#include <cstddef>
#include <opencv2/core.hpp>

namespace engine {

// The most memory reading a picture with PP-OCR holds, measured: decoding and
// the grey copies, the text's size planned on a large picture, then the
// networks' working memory, which OpenCV sizes by the detector's input (240
// bytes a pixel of it) and the widest line piece (25 KiB a column). Before
// the picture is decoded the detector's input is taken at its largest for
// the picture's size; `detectorInput` says what it is once known.
std::size_t PpOcrRecognitionBytes(const CropHeader& header, const cv::Size& detectorInput);

} // namespace engine
