#include "engine/PpOcrModels.h"

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace engine {

namespace {

std::filesystem::path ProgramFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path(".") : exe.parent_path();
}

// The recogniser's last class is a blank; the file has one character a line.
bool ReadAlphabet(const std::filesystem::path& file, std::vector<std::string>& alphabet) {
    std::ifstream in(file);
    if (!in)
        return false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        alphabet.push_back(line);
    }
    alphabet.push_back(" ");
    return in.eof();
}

} // namespace

std::filesystem::path PpOcrModelDirectory() {
    if (const char* folder = std::getenv("QUILLMATE_OCR_MODELS"); folder && *folder)
        return folder;
    return ProgramFolder() / ".." / "share" / "quillmate" / "ppocr";
}

std::unique_ptr<PpOcrModels> LoadPpOcrModels(const std::filesystem::path& directory, Error& error) {
    for (const char* file : {kPpOcrDetectionFile, kPpOcrRecognitionFile, kPpOcrKeysFile}) {
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(directory / file, ignored)) {
            error = {Failure::EngineFailed, "no " + (directory / file).string()};
            return nullptr;
        }
    }
    auto models = std::make_unique<PpOcrModels>();
    try {
        models->detection = cv::dnn::readNetFromONNX((directory / kPpOcrDetectionFile).string());
        // With fusion a second input size gives an all-zero map (a
        // ConvTranspose fusion fault of OpenCV 4.6); unfused runs as fast.
        models->detection.enableFusion(false);
        models->recognition =
            cv::dnn::readNetFromONNX((directory / kPpOcrRecognitionFile).string());
    } catch (const cv::Exception& e) {
        error = {Failure::EngineFailed, "OpenCV could not load the models: " + e.msg};
        return nullptr;
    }
    if (models->detection.empty() || models->recognition.empty() ||
        !ReadAlphabet(directory / kPpOcrKeysFile, models->alphabet)) {
        error = {Failure::EngineFailed, "the models in " + directory.string() + " are damaged"};
        return nullptr;
    }
    return models;
}

} // namespace engine
