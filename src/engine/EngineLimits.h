#pragma once

#include <cstddef>

namespace engine {

// Hard limits on what one request may carry; anything larger is refused
// before the engines see it.
inline constexpr std::size_t kMaxBodyBytes = 20 * 1024 * 1024;
inline constexpr std::size_t kMaxFormParts = 16;
inline constexpr std::size_t kMaxSpeechBodyBytes = 256 * 1024;
// About 6,600 Chinese characters: far beyond the source box, well within
// what synthesis finishes in a few seconds.
inline constexpr std::size_t kMaxSpeechTextBytes = 20000;

} // namespace engine
