#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace engine {

// One line of the answer: the boxes read one after another, left to right,
// or a single column of vertical text.
struct TextLine {
    std::vector<cv::Rect> boxes;
    bool vertical = false;
};

// Orders text boxes into lines in reading order: rows top to bottom, the
// boxes of a row (buttons, table cells, words far apart) left to right. A box
// at least twice as tall as wide is a vertical column, a line of its own.
std::vector<TextLine> ArrangeLines(std::vector<cv::Rect> boxes);

// A column of vertical text cut into its characters (rows of the column
// apart by blank rows, pieces of one character joined) and set side by side
// as a horizontal line, each character upright in a square cell.
cv::Mat ColumnAsLine(const cv::Mat& column);

} // namespace engine
