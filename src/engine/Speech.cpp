#include "engine/Speech.h"

#include "engine/EngineLimits.h"
#include "engine/Mp3Encoder.h"
#include "engine/SpeechSynth.h"
#include "engine/SpeechText.h"

namespace engine {

namespace {

struct Voice {
    std::string_view code;
    std::string_view voice;
};

// Names as espeak_SetVoiceByName takes them (voice file names); "fr-fr" for
// instance is a language, not a file, and is refused.
constexpr Voice kVoices[] = {
    // The plain cmn voice of espeak-ng 1.51 spells Chinese characters out in
    // English; this one reads them in Pinyin with tones, traditional ones too.
    {"zh", "cmn-latn-pinyin"},
    {"cht", "cmn-latn-pinyin"},
    // American English, as most dictionaries and translators speak it.
    {"en", "en-us"},
    {"de", "de"},
    {"ru", "ru"},
    {"fra", "fr"},
    {"kor", "ko"},
    {"jp", "ja"},
    {"ara", "ar"},
    {"est", "et"},
    {"bul", "bg"},
    {"pl", "pl"},
    {"dan", "da"},
    {"fin", "fi"},
    {"nl", "nl"},
    {"cs", "cs"},
    {"rom", "ro"},
    // Most Portuguese speakers and most translated text are Brazilian.
    {"pt", "pt-br"},
    {"swe", "sv"},
    {"th", "th"},
    {"el", "el"},
    {"spa", "es"},
    {"hu", "hu"},
    {"it", "it"},
    {"vie", "vi"},
};

// Words a minute for speed 0..9: steps of 12 %, so each step sounds alike;
// 5 is the library's normal rate, 0 stays clear for learners, 9 is brisk.
constexpr int kWordsPerMinute[] = {100, 111, 125, 140, 156, 175, 196, 220, 246, 275};

SpeechAudio Refused(Failure failure, std::string text) {
    return {{failure, std::move(text)}, {}};
}

} // namespace

SpeechAudio Synthesize(std::string_view utf8Text, std::string_view speechCode, int speed) {
    if (utf8Text.empty())
        return Refused(Failure::BadRequest, "no text to read");
    if (utf8Text.size() > kMaxSpeechTextBytes)
        return Refused(Failure::TooLarge,
                       "text longer than " + std::to_string(kMaxSpeechTextBytes) + " bytes");
    if (speed < 0 || speed > 9)
        return Refused(Failure::BadRequest, "speed must be 0 to 9");
    const std::string_view code = speechCode == "auto" ? SpeechCodeForScript(utf8Text) : speechCode;
    const std::optional<std::string> voice = VoiceFor(code);
    if (!voice)
        return Refused(Failure::BadRequest, "no voice for language " + std::string(speechCode));
    const std::optional<std::string> text = SpeakableText(utf8Text, code);
    if (!text)
        return Refused(Failure::BadRequest, "text is not valid UTF-8");

    // The helper announces the rate before any audio.
    std::optional<Mp3Encoder> encoder;
    const Error error =
        SynthesizeInto(*text, *voice, kWordsPerMinute[speed], [&encoder](int rate, auto samples) {
            if (!encoder)
                encoder.emplace(rate);
            return encoder->Add(samples);
        });
    if (error)
        return {error, {}};
    if (!encoder) // stopped before the header: cannot happen without an error
        return Refused(Failure::EngineFailed, "espeak-ng sent no audio");
    return encoder->Finish();
}

std::optional<std::string> VoiceFor(std::string_view speechCode) {
    if (speechCode == "auto")
        speechCode = "en";
    for (const Voice& v : kVoices) {
        if (v.code == speechCode)
            return std::string(v.voice);
    }
    return std::nullopt;
}

} // namespace engine
