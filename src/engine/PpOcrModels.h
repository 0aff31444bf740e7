#pragma once

#include "engine/EngineResult.h"

#include <filesystem>
#include <memory>
#include <opencv2/dnn.hpp>
#include <string>
#include <vector>

namespace engine {

inline constexpr char kPpOcrDetectionFile[] = "ch_PP-OCRv4_det_infer.onnx";
inline constexpr char kPpOcrRecognitionFile[] = "ch_PP-OCRv4_rec_infer.onnx";
inline constexpr char kPpOcrKeysFile[] = "ppocr_keys_v1.txt";

// Where the fixed PP-OCR models are: $QUILLMATE_OCR_MODELS when set, else
// ../share/quillmate/ppocr from the running program, which holds for the
// installed engine and the build tree alike.
std::filesystem::path PpOcrModelDirectory();

// Both networks and their alphabet, loaded once per worker.
struct PpOcrModels {
    cv::dnn::Net detection;
    cv::dnn::Net recognition;
    // The recogniser's classes after the CTC blank: the keys file's
    // characters, then a blank.
    std::vector<std::string> alphabet;
};

// Null, with the reason, when a file is missing or a network does not load.
std::unique_ptr<PpOcrModels> LoadPpOcrModels(const std::filesystem::path& directory, Error& error);

} // namespace engine
