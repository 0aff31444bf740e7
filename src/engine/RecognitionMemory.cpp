#include "engine/RecognitionMemory.h"

#include <algorithm>
#include <cmath>
#include <malloc.h>
#include <string>

namespace engine {

namespace {

constexpr double kPlanCost = 8; // the grey picture, its ink as bits, a box per piece of ink
// Tesseract per pixel it reads (its copy of the picture included) and per
// piece it outlines: dense screen text takes about 10 bytes a pixel with a
// piece per 500 pixels, noise up to 70 a pixel with a piece per 15.
constexpr double kTesseractPixelCost = 14;
constexpr double kTesseractPieceCost = 1000;
constexpr double kTesseractFixed = 8 << 20;
// What a recognition may take while Tesseract reads is granted before the
// picture is seen: the largest scale, on a picture of about square shape
// with the pieces of dense text. A busier or narrower one is read smaller.
constexpr double kPiecesPerPixelBeforePlan = 0.002;
// Giving back less than this leaves little for malloc_trim to return.
constexpr std::size_t kTrimFrom = std::size_t(32) << 20;

} // namespace

double DecodeBytesPerPixel(const CropHeader& header) {
    switch (header.format) {
    case PictureFormat::Png:
        // libpng's rows and Leptonica's picture at once; alpha and palettes
        // become 32-bit colour.
        if (header.channels == 1 && !header.palette)
            return 4;
        return header.channels == 3 ? 8 : 9;
    case PictureFormat::Jpeg:
        return (header.channels == 1 ? 3 : 6) + (header.wholeBuffer ? 2.0 * header.channels : 0);
    case PictureFormat::Bmp:
        break;
    }
    return 6;
}

namespace {

// From the plan on: the grey picture beside its cut, scaled and bordered
// copies; then Tesseract with its copy.
double FromPlan(double pixels, double scaled, double pieces) {
    return std::max(3 * pixels + 2 * scaled,
                    kTesseractPixelCost * scaled + kTesseractPieceCost * pieces + kTesseractFixed);
}

// Scaling up keeps the pieces, scaling down merges them.
double PlannedAt(const CropHeader& header, const CropPlan& plan, double scale) {
    const double margin = 2 * std::clamp(double(plan.textHeight) * scale * 0.5, 10.0, 40.0);
    const double scaled =
        (double(plan.width) * scale + 1 + margin) * (double(plan.height) * scale + 1 + margin);
    const double pieces = double(plan.pieces) * std::min(1.0, scale * scale);
    return FromPlan(double(header.width) * double(header.height), scaled, pieces);
}

std::size_t Bytes(double bytes) {
    return static_cast<std::size_t>(std::ceil(bytes));
}

} // namespace

std::size_t WorstCaseRecognitionBytes(const CropHeader& header) {
    const double pixels = double(header.width) * double(header.height);
    const double inside =
        std::min(double(kMaxUpscale * kMaxUpscale) * pixels, double(kMaxScaledPixels));
    // With ApplyCropPlan's largest margin, 40 pixels a side.
    const double scaled = inside + 160 * std::sqrt(inside) + 6400;
    return Bytes(std::max({DecodeBytesPerPixel(header) * pixels, kPlanCost * pixels,
                           FromPlan(pixels, scaled, kPiecesPerPixelBeforePlan * scaled)}));
}

std::size_t PlannedRecognitionBytes(const CropHeader& header, const CropPlan& plan) {
    if (plan.width <= 0 || plan.height <= 0)
        return 0;
    return Bytes(PlannedAt(header, plan, plan.scale));
}

Error FitPlanToReservation(const CropHeader& header, CropPlan& plan,
                           MemoryBudget::Reservation& reservation) {
    const auto fits = [&](float scale) {
        return Bytes(PlannedAt(header, plan, scale)) <= reservation.bytes();
    };
    if (!fits(plan.scale)) {
        if (!fits(kMinScale))
            return {Failure::TooLarge, "the picture has too many pieces to read within " +
                                           std::to_string(reservation.bytes() >> 20) + " MiB"};
        float small = kMinScale, large = plan.scale;
        for (float middle = (small + large) / 2; middle > small && middle < large;
             middle = (small + large) / 2)
            (fits(middle) ? small : large) = middle;
        plan.scale = small;
    }
    reservation.ShrinkTo(PlannedRecognitionBytes(header, plan));
    return {};
}

MemoryBudget& DecodeBudget() {
    static MemoryBudget budget(kDefaultDecodeBudget, kDecodeBudgetPatience, [](std::size_t bytes) {
        if (bytes >= kTrimFrom)
            malloc_trim(0);
    });
    return budget;
}

MemoryBudget::Reservation ReserveRecognition(const CropHeader& header, Error& error) {
    MemoryBudget::Reservation reservation =
        DecodeBudget().Reserve(WorstCaseRecognitionBytes(header), error);
    if (error)
        error.text = "recognising a picture of " + std::to_string(header.width) + " x " +
                     std::to_string(header.height) + " pixels " + error.text;
    return reservation;
}

} // namespace engine
