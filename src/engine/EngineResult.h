#pragma once

#include <string>

namespace engine {

// Why an engine request could not be served. The server turns each kind into
// one HTTP status; the text is a short reason for the answer body.
enum class Failure {
    None,
    BadRequest,   // malformed body, missing or bad field, unknown code
    TooLarge,     // body, picture or text over its limit
    NotAPicture,  // bytes no image decoder accepts
    EngineFailed, // the engine itself failed (missing data, internal error)
    Busy,         // other requests hold what this one needs; the same request may pass later
};

struct Error {
    Failure failure = Failure::None;
    std::string text;

    explicit operator bool() const { return failure != Failure::None; }
};

} // namespace engine
