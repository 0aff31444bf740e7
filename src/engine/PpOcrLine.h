#pragma once

#include "engine/EngineResult.h"

#include <opencv2/core.hpp>
#include <string>

namespace engine {

struct PpOcrModels;

// The recogniser's input height; any width that is a multiple of 8 is taken,
// one output step per 8 columns.
inline constexpr int kLineHeight = 48;
// Wider lines are read in pieces: the network's buffers grow with the width
// and stay at the largest size seen.
inline constexpr int kMaxLineWidth = 2400;

// The recogniser's input is padded (mid grey, as the model was trained) to a
// multiple of this: OpenCV sets a network up anew for every new input size,
// which costs as much as 60 columns, so lines read one after another should
// share sizes.
inline constexpr int kWidthStep = 64;
int PaddedWidth(int columns);
// The input width of the first piece of a line cropped at this size.
int LineInputWidth(const cv::Size& crop);

// Reads one horizontal line of text, an 8-bit grey crop of it. CJK
// characters come without blanks; Latin words keep theirs, found in the
// picture's gaps (the model itself drops most of them).
std::string ReadTextLine(PpOcrModels& models, const cv::Mat& grey, Error& error);

} // namespace engine
