#pragma once

#include "engine/CropPicture.h"
#include "engine/CropPreprocess.h"
#include "engine/MemoryBudget.h"

#include <chrono>
#include <cstddef>

namespace engine {

// What all recognitions of the process may hold at once, beyond the loaded
// models, and how long one waits for others to give back before it is
// refused as busy.
inline constexpr std::size_t kDefaultDecodeBudget = std::size_t(256) << 20;
inline constexpr std::chrono::milliseconds kDecodeBudgetPatience{5000};

// The most memory recognising a picture may take, from decoding to
// Tesseract's result, as measured (quill_recognize_memory_bench) with a
// margin. Per pixel of the picture: while decoding and turning it grey, 9
// bytes for a PNG with alpha or a palette, 8 for other colour PNGs, 4 for
// grey ones, 6 for a colour JPEG or a BMP, 3 for a grey JPEG, and 2 more per
// component for a JPEG that libjpeg holds whole (progressive); 8 while
// planning the crop; then 3, plus 2 per scaled pixel while scaling. While
// Tesseract reads: 14 per scaled pixel, 1000 per piece of ink or background
// it outlines, and 8 MiB. That last part is granted before the picture is
// seen, for the largest scale a plan can choose, a square picture and the
// pieces of dense screen text; a plan that needs more is read smaller.
std::size_t WorstCaseRecognitionBytes(const CropHeader& header);
// The first part of it: bytes per pixel while decoding and turning grey.
double DecodeBytesPerPixel(const CropHeader& header);
// What is still to come once the plan is known.
std::size_t PlannedRecognitionBytes(const CropHeader& header, const CropPlan& plan);

// Lowers the plan's scale until what is still to come fits the reservation
// (noise has many times the pieces of text), then gives back the rest of it.
// TooLarge when not even the smallest scale fits.
Error FitPlanToReservation(const CropHeader& header, CropPlan& plan,
                           MemoryBudget::Reservation& reservation);

// The budget every recognition of this process reserves from before it
// decodes: kDefaultDecodeBudget and kDecodeBudgetPatience until Configure
// says otherwise. A large reservation given back also gives the memory freed
// with it back to the system, as each worker thread's malloc arena would
// keep it for that thread alone.
MemoryBudget& DecodeBudget();

// Reserves the worst case of recognising the picture from DecodeBudget();
// refused with TooLarge or Busy, the error names the picture.
MemoryBudget::Reservation ReserveRecognition(const CropHeader& header, Error& error);

} // namespace engine
