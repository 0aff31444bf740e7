#pragma once

#include "engine/CropPicture.h"

namespace engine {

// How a grey screen crop is turned into the picture Tesseract reads.
struct CropPlan {
    // The part that differs from the colour of the picture's edge: the white
    // canvas the desktop program pads small crops with and the crop's own
    // empty margins are cut off. Empty when there is nothing to read.
    int left = 0, top = 0, width = 0, height = 0;
    int background = 255; // typical grey of the cut part
    bool invert = false;  // light text on a dark background
    float scale = 1;      // to kTargetTextHeight
    int textHeight = 0;   // tall letters (caps, ascenders, CJK), source pixels
    long long pieces = 0; // connected pieces of ink and of background in the cut part
};

// The height of tall letters that Tesseract reads best: caps of about 30
// pixels, CJK characters of about 34. Screen text of 12-20 px is scaled up
// 1.7-3.4 times; text drawn larger than this comes down.
inline constexpr int kTargetTextHeight = 34;
inline constexpr float kMaxUpscale = 4;
inline constexpr float kMinScale = 1.0f / 16;
// Upscaling stops here: Tesseract takes up to 10 bytes and 2 microseconds
// of a core for each pixel of screen text it reads, several times that for
// noise. A full-HD crop of 14 px text still reaches the target height.
inline constexpr long long kMaxScaledPixels = 12'000'000;
// Tesseract takes resolution into its layout rules, and guesses (aloud) when
// a picture has none.
inline constexpr int kRecognitionDpi = 300;

// 8-bit grey; transparent pixels count as white.
PixPtr ToGrey(Pix* decoded);
CropPlan PlanCrop(Pix* grey);
// The planned part, dark text on a light background, scaled, with a margin of
// background, at kRecognitionDpi; null for an empty plan or without memory.
PixPtr ApplyCropPlan(Pix* grey, const CropPlan& plan);

} // namespace engine
