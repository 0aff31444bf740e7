// quillmate-speech VOICE WORDS_PER_MINUTE < text > header + samples
// quillmate-speech --voices
// The engine's reader of one text; see speechwire/SpeechWire.h for what it writes.
#include "EspeakSynth.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The engine sends at most a few tens of kilobytes.
constexpr std::size_t kMaxInput = 1 << 20;

void PrepareToCrash() {
    // A crash ends the process by its signal, whatever handlers a sanitizer
    // installed, so the engine reports it as a crash; and leaves no core file.
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(s, SIG_DFL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    // A hung synthesis must not outlive the engine that waits for it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
}

bool ReadInput(std::string& text) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMaxInput)
            return false;
    }
}

// Voice file names only: a path would let espeak-ng load any file as a voice.
bool IsVoiceName(std::string_view voice) {
    if (voice.empty() || voice.size() > 64)
        return false;
    for (char c : voice) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "quillmate-speech: %s\nUsage: quillmate-speech VOICE WORDS_PER_MINUTE < text\n"
                 "       quillmate-speech %s\n",
                 why, speechwire::kListVoices);
    return speechwire::kUsage;
}

int ListVoices() {
    if (speechhelper::StartEspeak() <= 0)
        return speechwire::kNotStarted;
    std::string listing;
    for (const std::string& name : speechhelper::VoiceNames())
        listing += name + '\n';
    if (std::fwrite(listing.data(), 1, listing.size(), stdout) != listing.size() ||
        std::fflush(stdout) != 0)
        return speechwire::kPipeFailed;
    return speechwire::kDone;
}

} // namespace

int main(int argc, char** argv) {
    PrepareToCrash();
    if (argc == 2 && std::strcmp(argv[1], speechwire::kListVoices) == 0)
        return ListVoices();
    if (argc != 3)
        return Usage("wrong number of arguments");
    const std::string voice = argv[1];
    if (!IsVoiceName(voice))
        return Usage("not a voice name");
    const std::string_view rateText = argv[2];
    int wordsPerMinute = 0;
    const auto [end, error] =
        std::from_chars(rateText.data(), rateText.data() + rateText.size(), wordsPerMinute);
    if (error != std::errc() || end != rateText.data() + rateText.size() || wordsPerMinute < 1 ||
        wordsPerMinute > 1000)
        return Usage("words a minute must be 1 to 1000");
    std::string text;
    if (!ReadInput(text))
        return text.size() > kMaxInput ? Usage("the text is over 1 MiB") : speechwire::kPipeFailed;

    const int sampleRate = speechhelper::StartEspeak();
    if (sampleRate <= 0)
        return speechwire::kNotStarted;
    return speechhelper::SpeakTo(STDOUT_FILENO, text, voice, wordsPerMinute, sampleRate);
}
