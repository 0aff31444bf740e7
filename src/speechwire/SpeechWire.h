#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace speechwire {

// The helper sits beside the program that runs it.
inline constexpr char kHelperName[] = "quillmate-speech";
// Instead of VOICE WORDS_PER_MINUTE: print the voice names, one a line.
inline constexpr char kListVoices[] = "--voices";

// How the helper ends; anything else (a sanitizer's report, say) is a failure
// of no known kind.
enum Exit : int {
    kDone = 0,
    kUsage = 2,       // bad arguments or input
    kNoVoice = 3,     // the library has no voice of that name
    kSynthFailed = 4, // the library refused the text
    kPipeFailed = 5,  // standard input or output failed
    kNotStarted = 6,  // the library could not start (no voice data)
};

// Before its samples the helper writes a header: the magic, then the sample
// rate as 32 bits little-endian. The samples that follow are 16-bit mono in
// the machine's own byte order: both ends run on the same machine.
inline constexpr std::size_t kHeaderSize = 8;
using Header = std::array<char, kHeaderSize>;

Header MakeHeader(int sampleRate);
// The sample rate a header announces; 0 for anything that is no header of
// ours or names no plausible rate.
int ReadHeader(std::span<const char, kHeaderSize> bytes);

} // namespace speechwire
