#include "EspeakSynth.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <espeak-ng/speak_lib.h>
#include <unistd.h>

namespace speechhelper {

namespace {

bool WriteAll(int out, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(out, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// user_data holds the descriptor; -1 afterwards tells that a write failed.
int ToOutput(short* wav, int count, espeak_EVENT* events) {
    if (wav == nullptr || count <= 0)
        return 0;
    int& out = *static_cast<int*>(events->user_data);
    if (!WriteAll(out, reinterpret_cast<const char*>(wav),
                  static_cast<std::size_t>(count) * sizeof(short))) {
        out = -1;
        return 1;
    }
    return 0;
}

} // namespace

int StartEspeak() {
    // DONT_EXIT: without it a missing data folder ends the process with no
    // exit code of ours.
    const int rate =
        espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    return std::max(rate, 0);
}

std::vector<std::string> VoiceNames() {
    std::vector<std::string> names;
    for (const espeak_VOICE** v = espeak_ListVoices(nullptr); v != nullptr && *v != nullptr; ++v) {
        // "sit/cmn-Latn-pinyin": espeak_SetVoiceByName takes the file name.
        std::string name = (*v)->identifier;
        name.erase(0, name.rfind('/') + 1);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        names.push_back(std::move(name));
    }
    return names;
}

speechwire::Exit SpeakTo(int out, const std::string& text, const std::string& voice,
                         int wordsPerMinute, int sampleRate) {
    if (espeak_SetVoiceByName(voice.c_str()) != EE_OK)
        return speechwire::kNoVoice;
    espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
    const speechwire::Header header = speechwire::MakeHeader(sampleRate);
    if (!WriteAll(out, header.data(), header.size()))
        return speechwire::kPipeFailed;
    int target = out;
    espeak_SetSynthCallback(&ToOutput);
    // No espeakSSML, no espeakPHONEMES: "<speak>" and "[[...]]" are words to read.
    const espeak_ERROR result = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                             espeakCHARS_UTF8, nullptr, &target);
    if (target < 0)
        return speechwire::kPipeFailed;
    return result == EE_OK ? speechwire::kDone : speechwire::kSynthFailed;
}

} // namespace speechhelper
