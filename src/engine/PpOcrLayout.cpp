#include "engine/PpOcrLayout.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace engine {

namespace {

bool IsColumn(const cv::Rect& box) {
    return box.height >= 2 * box.width;
}

// Two boxes are in one row when they share most of the lower one's height.
bool SameRow(const cv::Rect& a, const cv::Rect& b) {
    const int overlap = std::min(a.br().y, b.br().y) - std::max(a.y, b.y);
    return overlap * 2 >= std::min(a.height, b.height);
}

int Background(const cv::Mat& grey) {
    std::vector<uchar> border;
    for (int x = 0; x < grey.cols; ++x) {
        border.push_back(grey.at<uchar>(0, x));
        border.push_back(grey.at<uchar>(grey.rows - 1, x));
    }
    for (int y = 0; y < grey.rows; ++y) {
        border.push_back(grey.at<uchar>(y, 0));
        border.push_back(grey.at<uchar>(y, grey.cols - 1));
    }
    std::nth_element(border.begin(), border.begin() + std::ptrdiff_t(border.size() / 2),
                     border.end());
    return border[border.size() / 2];
}

bool Squarish(const cv::Rect& box) {
    return box.width * 4 >= box.height * 3 && box.height * 4 >= box.width * 3;
}

// Whether `below` continues a column of characters that ends with `above`:
// about as wide, centred under it, and close (vertical text sets characters
// a fraction of their height apart; lines of a menu or list stand further).
bool StacksUnder(const cv::Rect& above, const cv::Rect& below) {
    const int width = std::max(above.width, below.width);
    const int gap = below.y - above.br().y;
    const int shift = std::abs((above.x + above.width / 2) - (below.x + below.width / 2));
    return Squarish(below) && std::min(above.width, below.width) * 10 >= width * 6 &&
           shift * 10 <= width * 3 && gap * 3 <= std::max(above.height, below.height);
}

// The detector finds a column of vertical text either whole or character by
// character, depending on its surroundings; three or more characters stacked
// become one column here (at least twice as tall as wide, so read as one).
// A box with another in its row is a cell or a word of a line, never part of
// a column.
std::vector<cv::Rect> JoinColumns(std::vector<cv::Rect> boxes) {
    std::sort(boxes.begin(), boxes.end(),
              [](const cv::Rect& a, const cv::Rect& b) { return a.y < b.y; });
    std::vector<bool> inRow(boxes.size(), false), joined(boxes.size(), false);
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = 0; j < boxes.size() && !inRow[i]; ++j)
            inRow[i] = j != i && SameRow(boxes[i], boxes[j]);
    std::vector<cv::Rect> out;
    for (size_t i = 0; i < boxes.size(); ++i) {
        if (joined[i])
            continue;
        std::vector<size_t> chain = {i};
        for (size_t j = i + 1; j < boxes.size() && !inRow[i] && Squarish(boxes[i]); ++j)
            if (!inRow[j] && StacksUnder(boxes[chain.back()], boxes[j]))
                chain.push_back(j);
        cv::Rect box = boxes[i];
        if (chain.size() >= 3)
            for (size_t k : chain) {
                box |= boxes[k];
                joined[k] = true;
            }
        out.push_back(box);
    }
    return out;
}

} // namespace

std::vector<TextLine> ArrangeLines(std::vector<cv::Rect> boxes) {
    boxes = JoinColumns(std::move(boxes));
    std::sort(boxes.begin(), boxes.end(), [](const cv::Rect& a, const cv::Rect& b) {
        return a.y + a.height / 2 < b.y + b.height / 2;
    });
    std::vector<TextLine> lines;
    for (const cv::Rect& box : boxes) {
        if (IsColumn(box)) {
            lines.push_back({{box}, true});
            continue;
        }
        // The latest rows first: a row is built from boxes whose middles
        // are close, and boxes come sorted by their middles.
        auto row = std::find_if(lines.rbegin(), lines.rend(), [&](const TextLine& line) {
            return !line.vertical && SameRow(line.boxes.front(), box);
        });
        if (row == lines.rend())
            lines.push_back({{box}, false});
        else
            row->boxes.push_back(box);
    }
    for (TextLine& line : lines)
        std::sort(line.boxes.begin(), line.boxes.end(),
                  [](const cv::Rect& a, const cv::Rect& b) { return a.x < b.x; });
    return lines;
}

cv::Mat ColumnAsLine(const cv::Mat& column) {
    const int background = Background(column);
    int contrast = 0;
    for (int y = 0; y < column.rows; ++y)
        for (int x = 0; x < column.cols; ++x)
            contrast = std::max(contrast, std::abs(column.at<uchar>(y, x) - background));
    const int threshold = std::max(24, contrast / 2);
    std::vector<bool> inked(size_t(column.rows), false);
    for (int y = 0; y < column.rows; ++y)
        for (int x = 0; x < column.cols; ++x)
            if (std::abs(column.at<uchar>(y, x) - background) > threshold)
                inked[size_t(y)] = true;

    // Runs of inked rows; a character of several pieces (三, 二, 言) is
    // joined while the whole stays within the column's width.
    const int cell = column.cols;
    std::vector<std::pair<int, int>> pieces;
    for (int y = 0; y < column.rows;) {
        if (!inked[size_t(y)]) {
            ++y;
            continue;
        }
        int end = y;
        while (end < column.rows && inked[size_t(end)])
            ++end;
        if (!pieces.empty() && end - pieces.back().first <= cell * 11 / 10)
            pieces.back().second = end;
        else
            pieces.push_back({y, end});
        y = end;
    }
    if (pieces.empty())
        return column;
    const int gap = std::max(2, cell / 8);
    cv::Mat line(cell, int(pieces.size()) * (cell + gap) + gap, CV_8U, cv::Scalar(background));
    int x = gap;
    for (const auto& [top, bottom] : pieces) {
        const int height = std::min(bottom - top, cell);
        const int offset = (cell - height) / 2;
        column.rowRange(top, top + height).copyTo(line(cv::Rect(x, offset, cell, height)));
        x += cell + gap;
    }
    return line;
}

} // namespace engine
