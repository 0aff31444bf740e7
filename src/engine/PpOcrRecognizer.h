#pragma once

#include "engine/CropPicture.h"
#include "engine/MemoryBudget.h"
#include "engine/Recognizer.h"

#include <filesystem>
#include <memory>

struct Pix;

namespace engine {

struct PpOcrModels;

// PaddleOCR's PP-OCRv4 on OpenCV's DNN module: a detector finds the text
// regions, a recogniser reads each one (Chinese, Simplified and Traditional,
// and English). Loaded once, kept warm; not thread-safe: one per worker.
// Resident cost: about 30 MB loaded, and the networks' buffers while they
// work, bounded by the detector's side limit and the line pieces (at most
// about 270 MB); past the size of a screen crop's they are given back after
// each picture.
class PpOcrRecognizer {
public:
    // Null, with the reason, when the models are missing or do not load.
    static std::unique_ptr<PpOcrRecognizer> Load(const std::filesystem::path& directory,
                                                 Error& error);
    ~PpOcrRecognizer();
    PpOcrRecognizer(const PpOcrRecognizer&) = delete;
    PpOcrRecognizer& operator=(const PpOcrRecognizer&) = delete;

    // An encoded picture, with the limits and failures of DecodeCrop; lines
    // in reading order. What it holds is reserved from DecodeBudget() first
    // (see PpOcrMemory.h), so it may be refused as Busy or TooLarge.
    Recognition Recognize(std::string_view picture);

private:
    explicit PpOcrRecognizer(std::unique_ptr<PpOcrModels> models);
    Recognition Read(Pix* grey, const CropHeader& header, MemoryBudget::Reservation& memory);
    void ReleaseLargeBuffers(int detectorPixels, int widestLine);
    std::unique_ptr<PpOcrModels> models_;
};

} // namespace engine
