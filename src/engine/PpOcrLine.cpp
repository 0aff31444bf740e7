#include "engine/PpOcrLine.h"

#include "engine/OcrText.h"
#include "engine/PpOcrModels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace engine {

namespace {

// Between two Latin letters the model rarely answers a blank, but its blank
// class gets some probability on the steps between two words: measured on
// screen fonts at 11-16 px, 0.04 and more between words, at most 0.0012
// between the letters of one. A gap in the picture of this share of the
// line's height is a blank too: letters of a word stand up to 0.24 apart
// (i|l), words from 0.27.
constexpr float kBlankProbability = 0.01f;
constexpr float kLatinBlankFraction = 0.26f;

struct Decoded {
    int cls;
    int first, last; // output steps
};

// Greedy CTC: the best class of each step, repeats merged, blanks (class 0)
// dropped.
std::vector<Decoded> Greedy(const cv::Mat& scores, int steps, int classes) {
    std::vector<Decoded> out;
    int previous = 0;
    for (int t = 0; t < steps; ++t) {
        const float* row = scores.ptr<float>() + std::ptrdiff_t(t) * classes;
        const int best = int(std::max_element(row, row + classes) - row);
        if (best != 0 && best == previous)
            out.back().last = t;
        else if (best != 0)
            out.push_back({best, t, t});
        previous = best;
    }
    return out;
}

// Column by column, whether the line has ink: pixels far from the border's
// typical grey, the way the text stands out of its background.
std::vector<bool> InkColumns(const cv::Mat& line, int& inkTop, int& inkBottom) {
    std::vector<uchar> border;
    for (int x = 0; x < line.cols; ++x) {
        border.push_back(line.at<uchar>(0, x));
        border.push_back(line.at<uchar>(line.rows - 1, x));
    }
    std::nth_element(border.begin(), border.begin() + std::ptrdiff_t(border.size() / 2),
                     border.end());
    const int background = border[border.size() / 2];
    int contrast = 0;
    for (int y = 0; y < line.rows; ++y)
        for (int x = 0; x < line.cols; ++x)
            contrast = std::max(contrast, std::abs(line.at<uchar>(y, x) - background));
    const int threshold = std::max(24, contrast / 2);
    std::vector<bool> ink(size_t(line.cols), false);
    inkTop = line.rows;
    inkBottom = 0;
    for (int y = 0; y < line.rows; ++y)
        for (int x = 0; x < line.cols; ++x)
            if (std::abs(line.at<uchar>(y, x) - background) > threshold) {
                ink[size_t(x)] = true;
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y + 1);
            }
    return ink;
}

// The recogniser's input: (x / 255 - 0.5) / 0.5 in three equal channels,
// zeros (mid grey) to the right up to `width`.
cv::Mat Blob(const cv::Mat& line, int width) {
    const int size[4] = {1, 3, kLineHeight, width};
    cv::Mat blob(4, size, CV_32F, cv::Scalar(0));
    for (int c = 0; c < 3; ++c) {
        cv::Mat plane(kLineHeight, width, CV_32F, blob.ptr<float>(0, c));
        line.convertTo(plane(cv::Rect(0, 0, line.cols, kLineHeight)), CV_32F, 2.0 / 255.0, -1.0);
    }
    return blob;
}

struct Gap {
    int start, width;
};

// Runs of empty columns between the first and the last inked one.
std::vector<Gap> Gaps(const std::vector<bool>& ink) {
    std::vector<Gap> gaps;
    const int size = int(ink.size());
    int x = 0;
    while (x < size && !ink[size_t(x)])
        ++x;
    while (x < size) {
        int end = x;
        while (end < size && !ink[size_t(end)])
            ++end;
        if (end > x && end < size)
            gaps.push_back({x, end - x});
        x = end + 1;
    }
    return gaps;
}

// Where the piece of a long line that starts at `from` ends: in the middle
// of the widest gap of its last quarter, so no character is cut in two.
int PieceEnd(const std::vector<bool>& ink, int from) {
    const int size = int(ink.size());
    if (size - from <= kMaxLineWidth)
        return size;
    const int last = from + kMaxLineWidth;
    int best = last, widest = 0;
    for (const Gap& gap : Gaps(ink))
        if (gap.start >= last - kMaxLineWidth / 4 && gap.start + gap.width <= last &&
            gap.width > widest) {
            widest = gap.width;
            best = gap.start + gap.width / 2;
        }
    return best;
}

std::string LastCharacter(const std::string& text) {
    size_t at = text.size();
    while (at > 0 && (static_cast<unsigned char>(text[at - 1]) & 0xC0) == 0x80)
        --at;
    return at == 0 ? text : text.substr(at - 1);
}

std::string ReadPiece(PpOcrModels& models, const cv::Mat& line, Error& error) {
    const int width = PaddedWidth(line.cols);
    models.recognition.setInput(Blob(line, width));
    const cv::Mat scores = models.recognition.forward();
    const int steps = scores.size[1], classes = scores.size[2];
    if (classes != int(models.alphabet.size()) + 1) {
        error = {Failure::EngineFailed, "the recognition model does not match its alphabet"};
        return {};
    }
    const float columnsPerStep = float(width) / float(steps);
    int inkTop = 0, inkBottom = 0;
    const std::vector<bool> ink = InkColumns(line, inkTop, inkBottom);
    // A line of digits or small letters has little ink height; its box,
    // grown around the text, stands for the line's height then.
    const int lineHeight = std::max(inkBottom - inkTop, kLineHeight * 7 / 10);

    std::vector<OcrGlyph> glyphs;
    std::vector<float> boundaries;  // column between a glyph and the one before
    std::vector<float> blankChance; // the blank's best probability between them
    bool blankSeen = false;
    int previousEnd = 0;
    for (const Decoded& d : Greedy(scores, steps, classes)) {
        const std::string& text = models.alphabet[size_t(d.cls - 1)];
        if (text == " ") {
            blankSeen = !glyphs.empty();
            continue;
        }
        boundaries.push_back(float(previousEnd + d.first) * columnsPerStep / 2);
        float chance = 0;
        for (int t = std::max(0, previousEnd - 1); t <= d.first; ++t)
            chance =
                std::max(chance, scores.ptr<float>()[std::ptrdiff_t(t) * classes + classes - 1]);
        blankChance.push_back(chance);
        glyphs.push_back({text, blankSeen, 0});
        blankSeen = false;
        previousEnd = d.last + 1;
    }
    // The model's steps peak somewhere inside their character, so a gap in
    // the picture goes to the nearest break between two characters; each
    // break takes one gap at most.
    for (const Gap& gap : Gaps(ink)) {
        const float middle = float(gap.start) + float(gap.width) / 2;
        size_t best = 0;
        for (size_t i = 1; i < glyphs.size(); ++i)
            if (best == 0 || std::abs(boundaries[i] - middle) < std::abs(boundaries[best] - middle))
                best = i;
        if (best == 0 || std::abs(boundaries[best] - middle) > float(lineHeight))
            continue;
        glyphs[best].gapBefore = std::max(glyphs[best].gapBefore, gap.width);
    }
    for (size_t i = 1; i < glyphs.size(); ++i) {
        OcrGlyph& glyph = glyphs[i];
        // JoinOcrGlyphs weighs the gap itself where a CJK character is involved.
        glyph.startsWord = glyph.startsWord || IsWideCharacter(glyph.text) ||
                           IsWideCharacter(glyphs[i - 1].text) ||
                           blankChance[i] >= kBlankProbability ||
                           float(glyph.gapBefore) >= kLatinBlankFraction * float(lineHeight);
    }
    std::string text = JoinOcrGlyphs(glyphs, lineHeight);
    // The model reads three dots ("打开文件...") as an ellipsis, now and then
    // with a dot after it; menus write three dots.
    for (const char* ellipsis : {"\u2026.", "\u2026"})
        for (size_t at; (at = text.find(ellipsis)) != std::string::npos;)
            text.replace(at, std::strlen(ellipsis), "...");
    return text;
}

int ScaledWidth(const cv::Size& crop) {
    return std::max(8,
                    int(std::lround(double(crop.width) * kLineHeight / std::max(1, crop.height))));
}

} // namespace

int PaddedWidth(int columns) {
    return (columns + kWidthStep - 1) / kWidthStep * kWidthStep;
}

int LineInputWidth(const cv::Size& crop) {
    return PaddedWidth(std::min(kMaxLineWidth, ScaledWidth(crop)));
}

std::string ReadTextLine(PpOcrModels& models, const cv::Mat& grey, Error& error) {
    if (grey.rows < 2 || grey.cols < 2)
        return {};
    const int width = ScaledWidth(grey.size());
    cv::Mat line;
    cv::resize(grey, line, {width, kLineHeight}, 0, 0,
               grey.rows > kLineHeight ? cv::INTER_AREA : cv::INTER_LINEAR);
    int inkTop = 0, inkBottom = 0;
    const std::vector<bool> ink = InkColumns(line, inkTop, inkBottom);
    std::string text;
    for (int from = 0; from < line.cols && !error;) {
        const int to = PieceEnd(ink, from);
        std::string piece = ReadPiece(models, line.colRange(from, to), error);
        if (!text.empty() && !piece.empty() && !IsWideCharacter(LastCharacter(text)) &&
            !IsWideCharacter(piece))
            text += ' ';
        text += piece;
        from = to;
    }
    return text;
}

} // namespace engine
