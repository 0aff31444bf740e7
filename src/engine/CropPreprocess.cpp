#include "engine/CropPreprocess.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <leptonica/allheaders.h>
#include <vector>

namespace engine {

namespace {

// JPEG rings around sharp edges by a few tens of grey levels; text differs
// from its background by far more.
constexpr int kFlatTolerance = 48;

using Histogram = std::array<long long, 256>;

int At(const l_uint32* line, int x) {
    return static_cast<int>(GET_DATA_BYTE(line, x));
}

const l_uint32* Row(Pix* grey, int y) {
    return pixGetData(grey) + static_cast<ptrdiff_t>(y) * pixGetWpl(grey);
}

int Percentile(const Histogram& histogram, double fraction) {
    long long total = 0;
    for (long long n : histogram)
        total += n;
    const long long wanted = static_cast<long long>(fraction * static_cast<double>(total - 1));
    long long seen = 0;
    for (int v = 0; v < 256; ++v) {
        seen += histogram[v];
        if (seen > wanted)
            return v;
    }
    return 255;
}

struct Area {
    int left, top, right, bottom;
};

// The typical grey of the area's outermost rows and columns.
int EdgeValue(Pix* grey, const Area& area) {
    Histogram histogram{};
    for (int x = area.left; x < area.right; ++x) {
        ++histogram[At(Row(grey, area.top), x)];
        ++histogram[At(Row(grey, area.bottom - 1), x)];
    }
    for (int y = area.top; y < area.bottom; ++y) {
        ++histogram[At(Row(grey, y), area.left)];
        ++histogram[At(Row(grey, y), area.right - 1)];
    }
    return Percentile(histogram, 0.5);
}

bool RowIsFlat(Pix* grey, int y, int x0, int x1, int value) {
    const l_uint32* line = Row(grey, y);
    for (int x = x0; x < x1; ++x)
        if (std::abs(At(line, x) - value) > kFlatTolerance)
            return false;
    return true;
}

bool ColumnIsFlat(Pix* grey, int x, int y0, int y1, int value) {
    for (int y = y0; y < y1; ++y)
        if (std::abs(At(Row(grey, y), x) - value) > kFlatTolerance)
            return false;
    return true;
}

// The pieces of ink and of background between them: Tesseract outlines
// each, and what it holds grows with their number (noise has dozens per
// hundred pixels, text one or two).
long long Pieces(Pix* binary) {
    l_int32 ink = 0, gaps = 0;
    pixCountConnComp(binary, 8, &ink);
    const PixPtr inverse(pixInvert(nullptr, binary));
    if (inverse)
        pixCountConnComp(inverse.get(), 4, &gaps);
    return ink + gaps;
}

// Height of the tall letters: a high rank of the ink's connected components,
// so x-height letters, dots and punctuation do not pull it down. Counts the
// plan's pieces on the way.
int TextHeight(Pix* grey, CropPlan& plan, int background, int ink) {
    const int threshold = (background + ink) / 2;
    PixPtr binary(pixCreate(plan.width, plan.height, 1));
    if (!binary)
        return 0;
    l_uint32* bits = pixGetData(binary.get());
    const int wpl = pixGetWpl(binary.get());
    for (int y = 0; y < plan.height; ++y) {
        const l_uint32* line = Row(grey, plan.top + y);
        l_uint32* out = bits + static_cast<ptrdiff_t>(y) * wpl;
        for (int x = 0; x < plan.width; ++x) {
            const int v = At(line, plan.left + x);
            if (plan.invert ? v > threshold : v < threshold)
                SET_DATA_BIT(out, x);
        }
    }
    plan.pieces = Pieces(binary.get());
    // CJK characters are often pieces stacked a pixel or two apart (宀 over
    // 正); a small vertical closing makes them one, and leaves lines apart.
    binary.reset(pixCloseSafeBrick(nullptr, binary.get(), 1, 3));
    if (!binary)
        return 0;
    BOXA* boxes = pixConnCompBB(binary.get(), 8);
    if (!boxes)
        return 0;
    std::vector<int> heights;
    for (int i = 0; i < boxaGetCount(boxes); ++i) {
        l_int32 bw = 0, bh = 0;
        boxaGetBoxGeometry(boxes, i, nullptr, nullptr, &bw, &bh);
        if (bh >= 2)
            heights.push_back(bh);
    }
    boxaDestroy(&boxes);
    if (heights.empty())
        return 0;
    // A word or two gives too few pieces for a rank: the tallest then.
    const double fraction = heights.size() < 12 ? 1.0 : 0.9;
    const auto rank =
        heights.begin() + static_cast<ptrdiff_t>(fraction * double(heights.size() - 1));
    std::nth_element(heights.begin(), rank, heights.end());
    return *rank;
}

// Cuts off the rows and columns of one colour around the area.
Area Trim(Pix* grey, Area area, int colour) {
    while (area.top < area.bottom && RowIsFlat(grey, area.top, area.left, area.right, colour))
        ++area.top;
    while (area.bottom > area.top &&
           RowIsFlat(grey, area.bottom - 1, area.left, area.right, colour))
        --area.bottom;
    if (area.top == area.bottom)
        return {0, 0, 0, 0};
    while (area.left < area.right && ColumnIsFlat(grey, area.left, area.top, area.bottom, colour))
        ++area.left;
    while (area.right > area.left &&
           ColumnIsFlat(grey, area.right - 1, area.top, area.bottom, colour))
        --area.right;
    return area;
}

// The background of an area: its most common grey. Antialiased text spreads
// over many greys while a background keeps one, give or take JPEG noise, so
// this holds even where text covers half the area.
int Background(Pix* grey, Area area) {
    Histogram histogram{};
    for (int y = area.top; y < area.bottom; ++y) {
        const l_uint32* line = Row(grey, y);
        for (int x = area.left; x < area.right; ++x)
            ++histogram[At(line, x)];
    }
    int best = 0;
    long long bestCount = -1;
    for (int v = 0; v < 256; ++v) {
        long long count = 0;
        for (int w = std::max(0, v - 4); w <= std::min(255, v + 4); ++w)
            count += histogram[w];
        if (count > bestCount) {
            best = v;
            bestCount = count;
        }
    }
    return best;
}

// Blends over white and weighs the colours as Leptonica's grey conversion
// does, in one pass: Leptonica's blend makes three picture-sized copies on
// the way, two of them in colour.
PixPtr GreyOverWhite(Pix* rgba) {
    const int w = pixGetWidth(rgba), h = pixGetHeight(rgba);
    PixPtr grey(pixCreateNoInit(w, h, 8));
    if (!grey)
        return nullptr;
    const int inWpl = pixGetWpl(rgba), outWpl = pixGetWpl(grey.get());
    for (int y = 0; y < h; ++y) {
        const l_uint32* in = pixGetData(rgba) + static_cast<ptrdiff_t>(y) * inWpl;
        l_uint32* out = pixGetData(grey.get()) + static_cast<ptrdiff_t>(y) * outWpl;
        for (int x = 0; x < w; ++x) {
            const l_uint32 pixel = in[x];
            const float alpha = float((pixel >> L_ALPHA_SHIFT) & 0xff) / 255;
            const auto over = [&](l_int32 shift) {
                return (1 - alpha) * 255 + alpha * float((pixel >> shift) & 0xff);
            };
            const float value = L_RED_WEIGHT * over(L_RED_SHIFT) +
                                L_GREEN_WEIGHT * over(L_GREEN_SHIFT) +
                                L_BLUE_WEIGHT * over(L_BLUE_SHIFT);
            SET_DATA_BYTE(out, x, std::clamp(int(value + 0.5f), 0, 255));
        }
    }
    pixCopyResolution(grey.get(), rgba);
    return grey;
}

} // namespace

PixPtr ToGrey(Pix* decoded) {
    // Transparent pixels of a screenshot are meant to show what is behind: white here.
    if (pixGetDepth(decoded) == 32 && pixGetSpp(decoded) == 4)
        return GreyOverWhite(decoded);
    return PixPtr(pixConvertTo8(decoded, 0));
}

CropPlan PlanCrop(Pix* grey) {
    CropPlan plan;
    const int w = pixGetWidth(grey), h = pixGetHeight(grey);
    // First the white canvas around a small crop, then the crop's own margin.
    Area area = Trim(grey, {0, 0, w, h}, EdgeValue(grey, {0, 0, w, h}));
    if (area.bottom == area.top)
        return plan;
    const int background =
        Background(grey, {std::max(0, area.left - 2), std::max(0, area.top - 2),
                          std::min(w, area.right + 2), std::min(h, area.bottom + 2)});
    area = Trim(grey, area, background);
    if (area.bottom == area.top)
        return plan;
    const int left = area.left, top = area.top, right = area.right, bottom = area.bottom;

    // What stands out from the background is text: light text if most of it
    // is lighter.
    Histogram histogram{};
    long long lighter = 0, darker = 0;
    for (int y = top; y < bottom; ++y) {
        const l_uint32* line = Row(grey, y);
        for (int x = left; x < right; ++x) {
            const int v = At(line, x);
            ++histogram[v];
            lighter += v > background + kFlatTolerance;
            darker += v < background - kFlatTolerance;
        }
    }
    plan.background = background;
    plan.invert = lighter > darker;
    plan.left = left;
    plan.top = top;
    plan.width = right - left;
    plan.height = bottom - top;
    const int ink = plan.invert ? Percentile(histogram, 0.995) : Percentile(histogram, 0.005);
    plan.textHeight = TextHeight(grey, plan, background, ink);
    if (plan.textHeight == 0)
        return CropPlan{}; // a few dots at most
    // Large text is brought down too: fewer pixels, and the Chinese model
    // reads text drawn big and sharp no better (it doubles characters).
    float scale = float(kTargetTextHeight) / float(plan.textHeight);
    if (scale > 1) {
        const double area = double(plan.width) * double(plan.height);
        scale = std::min({scale, kMaxUpscale, float(std::sqrt(double(kMaxScaledPixels) / area))});
    }
    plan.scale = std::abs(scale - 1) < 0.05f ? 1 : std::max(scale, kMinScale);
    return plan;
}

PixPtr ApplyCropPlan(Pix* grey, const CropPlan& plan) {
    if (plan.width <= 0 || plan.height <= 0)
        return nullptr;
    BOX* box = boxCreate(plan.left, plan.top, plan.width, plan.height);
    PixPtr pix(pixClipRectangle(grey, box, nullptr));
    boxDestroy(&box);
    if (!pix)
        return nullptr;
    if (plan.invert)
        pixInvert(pix.get(), pix.get());
    if (plan.scale != 1) {
        // Linear interpolation up, area mapping well down; no sharpening, it
        // did not read better.
        pix.reset(pixScaleGeneral(pix.get(), plan.scale, plan.scale, 0, 0));
        if (!pix)
            return nullptr;
    }
    // The cut went up to the ink; the page layout wants some background around it.
    const int margin = std::clamp(int(float(plan.textHeight) * plan.scale * 0.5f), 10, 40);
    const int background = plan.invert ? 255 - plan.background : plan.background;
    pix.reset(pixAddBorder(pix.get(), margin, l_uint32(background)));
    if (pix)
        pixSetResolution(pix.get(), kRecognitionDpi, kRecognitionDpi);
    return pix;
}

} // namespace engine
