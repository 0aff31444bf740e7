#include "engine/Mp3Encoder.h"
#include "engine/Speech.h"
#include "engine/SpeechSynth.h"
#include "engine/SpeechText.h"

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <thread>
#include <vector>

namespace {

using engine::Failure;

// The helper is built beside quillmate-server, not beside the tests.
const bool kHelperSet = [] {
    engine::SetSpeechHelper(QUILLMATE_SPEECH_PATH);
    return true;
}();

// Points the engine at a shell script for the life of the object; no script
// means a helper that is not there.
class StandInHelper {
public:
    explicit StandInHelper(const char* script) : saved_(engine::SpeechHelper()) {
        const std::filesystem::path path = dir_.filePath("quillmate-speech").toStdString();
        if (script != nullptr) {
            std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
            std::filesystem::permissions(path, std::filesystem::perms::owner_all);
        }
        engine::SetSpeechHelper(path);
    }
    ~StandInHelper() { engine::SetSpeechHelper(saved_); }
    StandInHelper(const StandInHelper&) = delete;
    StandInHelper& operator=(const StandInHelper&) = delete;

private:
    QTemporaryDir dir_;
    std::filesystem::path saved_;
};

struct Decoded {
    bool ok = false;
    int sampleRate = 0;
    int channels = 0;
    std::vector<short> samples;

    double seconds() const { return sampleRate ? double(samples.size()) / sampleRate : 0; }
    int peak() const {
        int peak = 0;
        for (short s : samples)
            peak = std::max(peak, std::abs(int(s)));
        return peak;
    }
};

// LAME's own decoder, so a stream it cannot parse fails here.
Decoded DecodeMp3(const std::string& mp3) {
    Decoded out;
    hip_t hip = hip_decode_init();
    std::vector<unsigned char> bytes(mp3.begin(), mp3.end());
    std::vector<short> left(8192), right(8192);
    mp3data_struct info{};
    bool failed = false;
    // The decoder answers 0 for "need more": fed in pieces, drained after each.
    for (std::size_t at = 0; at < bytes.size() && !failed; at += 512) {
        std::size_t feed = std::min<std::size_t>(512, bytes.size() - at);
        for (int n = 1; n > 0; feed = 0) {
            n = hip_decode1_headers(hip, bytes.data() + at, feed, left.data(), right.data(), &info);
            failed = n < 0;
            if (n > 0)
                out.samples.insert(out.samples.end(), left.begin(), left.begin() + n);
        }
    }
    hip_decode_exit(hip);
    out.ok = !failed && info.header_parsed == 1;
    out.sampleRate = info.samplerate;
    out.channels = info.stereo;
    return out;
}

Decoded Speak(std::string_view text, std::string_view code, int speed = 5) {
    const engine::SpeechAudio audio = engine::Synthesize(text, code, speed);
    EXPECT_FALSE(audio.error) << audio.error.text << " for " << text;
    return DecodeMp3(audio.mp3);
}

TEST(Speech, SentencesLastAsLongAsTheirSyllables) {
    struct Case {
        const char* code;
        const char* text;
        double minSeconds, maxSeconds;
    } const cases[] = {
        // 17 words, 20 syllables: about 4 s at the normal rate.
        {"en", "The weather is lovely today, so we are going to take a long walk in the park.", 2.8,
         5.5},
        // 13 syllables, about 3.8 s; the cmn voice, which spells the characters
        // out as English, takes over 5 s.
        {"zh", "今天天气很好，我们去公园散步。", 2.5, 4.5},
        {"cht", "今天天氣很好，我們去公園散步。", 2.5, 4.5},
        {"auto", "今天天氣很好，我們去公園散步。", 2.5, 4.5},
    };
    for (const Case& c : cases) {
        const Decoded d = Speak(c.text, c.code);
        ASSERT_TRUE(d.ok) << c.code;
        EXPECT_EQ(d.channels, 1);
        EXPECT_EQ(d.sampleRate, 22050);
        EXPECT_GT(d.peak(), 3000) << c.code << ": silent";
        EXPECT_GE(d.seconds(), c.minSeconds) << c.code;
        EXPECT_LE(d.seconds(), c.maxSeconds) << c.code;
    }
}

TEST(Speech, FastestSpeedIsFarShorterThanSlowest) {
    const char* text = "Reading speed should change the length of this sentence a lot.";
    const double slow = Speak(text, "en", 0).seconds();
    const double normal = Speak(text, "en", 5).seconds();
    const double fast = Speak(text, "en", 9).seconds();
    EXPECT_LT(normal, slow * 0.85);
    EXPECT_LT(fast, normal * 0.85);
    EXPECT_LT(fast, slow * 0.5);
}

TEST(Speech, EncoderKeepsRateAndLength) {
    for (const int rate : {8000, 16000, 22050, 44100}) {
        for (const double seconds : {0.0, 1.5}) {
            std::vector<std::int16_t> tone(static_cast<std::size_t>(rate * seconds));
            for (std::size_t i = 0; i < tone.size(); ++i)
                tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / rate));
            const engine::SpeechAudio audio = engine::EncodeMp3(tone, rate);
            ASSERT_FALSE(audio.error) << rate;
            const Decoded d = DecodeMp3(audio.mp3);
            ASSERT_TRUE(d.ok) << rate;
            EXPECT_EQ(d.sampleRate, rate);
            EXPECT_EQ(d.channels, 1);
            // The codec adds its delay and pads the last frame; it never drops
            // audio, and even no audio makes a stream that decodes.
            EXPECT_GE(d.seconds(), std::max(seconds, 0.1)) << rate;
            EXPECT_LE(d.seconds(), seconds + 0.3) << rate;
        }
    }
    const std::int16_t some[100] = {};
    for (const int rate : {0, -1, 12345, 96000})
        EXPECT_EQ(engine::EncodeMp3(some, rate).error.failure, Failure::EngineFailed) << rate;
}

TEST(Speech, ManySpeedChangesLeaveLaterTextsWhole) {
    // The library queues a command per rate change that only a synthesis in
    // the same process drains; 170 of them cut every later text after its
    // first clause.
    const char* text = "First clause here, second clause there, and a third one.";
    const double before = Speak(text, "en").seconds();
    for (int i = 0; i < 200; ++i)
        ASSERT_FALSE(engine::Synthesize("a", "en", i % 10).error);
    EXPECT_NEAR(Speak(text, "en").seconds(), before, 0.05 * before);
}

TEST(Speech, EveryCatalogueCodeHasAnInstalledVoice) {
    const std::vector<std::string> installed = engine::InstalledVoices();
    const char* codes[] = {"auto", "zh",  "cht", "en", "de",  "ru",  "fra", "kor", "jp",
                           "ara",  "est", "bul", "pl", "dan", "fin", "nl",  "cs",  "rom",
                           "pt",   "swe", "th",  "el", "spa", "hu",  "it",  "vie"};
    for (const char* code : codes) {
        const auto voice = engine::VoiceFor(code);
        ASSERT_TRUE(voice) << code;
        EXPECT_NE(std::find(installed.begin(), installed.end(), *voice), installed.end())
            << code << " -> " << *voice;
        // The library itself must accept the name, not merely list it.
        EXPECT_FALSE(engine::Synthesize("1 2 3", code, 5).error) << code;
    }
    for (const char* unknown : {"", "xx", "ZH", "zh ", "en-us", "fr", "auto\n"})
        EXPECT_FALSE(engine::VoiceFor(unknown)) << unknown;
}

TEST(Speech, RefusesWhatItCannotRead) {
    struct Case {
        const char* name;
        std::string text;
        const char* code;
        int speed;
        Failure failure;
    } const cases[] = {
        {"empty", "", "en", 5, Failure::BadRequest},
        {"speed below", "hello", "en", -1, Failure::BadRequest},
        {"speed above", "hello", "en", 10, Failure::BadRequest},
        {"unknown code", "hello", "xx", 5, Failure::BadRequest},
        {"lone continuation", "ab\x80", "en", 5, Failure::BadRequest},
        {"truncated", "ab\xE4\xBD", "zh", 5, Failure::BadRequest},
        {"overlong slash", "a\xC0\xAF", "en", 5, Failure::BadRequest},
        {"surrogate", "a\xED\xA0\x80", "en", 5, Failure::BadRequest},
        {"beyond U+10FFFF", "a\xF4\x90\x80\x80", "en", 5, Failure::BadRequest},
        {"invalid, auto", "\xFF\xFE", "auto", 5, Failure::BadRequest},
        {"too long", std::string(20001, 'a'), "en", 5, Failure::TooLarge},
    };
    for (const Case& c : cases) {
        const engine::SpeechAudio audio = engine::Synthesize(c.text, c.code, c.speed);
        EXPECT_EQ(audio.error.failure, c.failure) << c.name;
        EXPECT_FALSE(audio.error.text.empty()) << c.name;
        EXPECT_TRUE(audio.mp3.empty()) << c.name;
    }
}

TEST(Speech, SurvivesTheLibraryCrashing) {
    // espeak-ng 1.51 dereferences a null pointer on this text; a fixed library
    // may read it.
    const engine::SpeechAudio crashed = engine::Synthesize("( `", "vie", 5);
    if (crashed.error) {
        EXPECT_EQ(crashed.error.failure, Failure::EngineFailed);
        EXPECT_NE(crashed.error.text.find("crash"), std::string::npos) << crashed.error.text;
    }
    EXPECT_GT(Speak("Xin chào thế giới", "vie").peak(), 3000);
}

TEST(Speech, AFailingHelperIsAClearError) {
    struct Case {
        const char* name;
        const char* script;
        const char* says;
    } const cases[] = {
        {"missing", nullptr, "could not start the speech helper"},
        {"crashes", "ulimit -c 0; kill -SEGV $$", "crashed on this text (signal 11)"},
        {"not ours", "echo 'something else entirely'", "no audio header"},
        {"a rate of 0 Hz", "printf 'QSP1\\000\\000\\000\\000'", "no audio header"},
        {"silent", "exit 0", "no audio header"},
        {"fails", "exit 7", "exit code 7"},
    };
    for (const Case& c : cases) {
        const StandInHelper helper(c.script);
        const engine::SpeechAudio audio = engine::Synthesize("hello", "en", 5);
        EXPECT_EQ(audio.error.failure, Failure::EngineFailed) << c.name;
        EXPECT_NE(audio.error.text.find(c.says), std::string::npos)
            << c.name << ": " << audio.error.text;
        EXPECT_TRUE(audio.mp3.empty()) << c.name;
    }
    const engine::SpeechPcm pcm = engine::SynthesizePcm("hello", "no-such-voice", 175);
    EXPECT_EQ(pcm.error.text, "espeak-ng has no voice no-such-voice");
    EXPECT_TRUE(engine::SynthesizePcm("hello", "../en-us", 175).error);
}

TEST(Speech, AudioOverAnHourStops) {
    // At one sample a second, an hour is 7200 bytes.
    const StandInHelper helper("printf 'QSP1\\001\\000\\000\\000'; exec cat /dev/zero");
    std::size_t samples = 0;
    const engine::Error error = engine::SynthesizeInto("hello", "en-us", 175, [&](int, auto s) {
        samples += s.size();
        return true;
    });
    EXPECT_EQ(error.failure, Failure::TooLarge) << error.text;
    EXPECT_LE(samples, 3600u);
}

TEST(Speech, MarkupAndCommandsAreReadAsText) {
    // Taken as markup or phonemes, each would say just the plain words.
    struct Case {
        const char* text;
        const char* meaning;
    } const cases[] = {
        {"<speak>hello</speak>", "hello"},
        {"<speak><audio src=\"/etc/hostname\"/>hello</speak>", "hello"},
        {"[[h@l'oU w'3:ld]]", "hello world"},
    };
    for (const Case& c : cases)
        EXPECT_GT(Speak(c.text, "en").seconds(), 1.5 * Speak(c.meaning, "en").seconds()) << c.text;

    // Ctrl-A 0A would set the volume to zero.
    EXPECT_GT(Speak("\x01"
                    "0A hello world",
                    "en")
                  .peak(),
              3000);
    EXPECT_GT(Speak("hello world", "en").peak(), 3000);
}

TEST(Speech, EachVoiceGetsOnlyItsOwnScript) {
    // The library reads freed memory on some mixes of scripts; the foreign
    // inputs here are ones it failed on.
    struct Case {
        const char* code;
        std::string in, out;
    } const cases[] = {
        {"en", "Crème brûlée, 3 € — “ok”", "Crème brûlée, 3 € — “ok”"},
        {"en", "tab\tline\nreturn\r", "tab\tline\nreturn\r"},
        {"en",
         "a\x01"
         "0Ab",
         "a 0Ab"},
        {"en", std::string("a\0b", 3), "a b"},
        {"en", "x\u11CDy😀", "x y "},
        {"it", "ﺨц₩", "  ₩"},
        {"el", "Πﾞﵺ먶Ε", "Π   Ε"},
        {"zh", "你好，ｗｏｒｌｄ！ Linux", "你好,world! Linux"},
        {"zh", "中文かな한", "中文   "},
        {"cht", "繁體中文。", "繁體中文。"},
        {"jp", "日本語のテキスト", "日本語のテキスト"},
        {"kor", "한국어 漢字", "한국어   "},
        {"ru", "Привет, мир", "Привет, мир"},
        {"ara", "مرحبا ﻀ", "مرحبا  "},
        {"th", "สวัสดี", "สวัสดี"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::SpeakableText(c.in, c.code), c.out) << c.code << ": " << c.in;
}

TEST(Speech, PicksTheVoiceFromTheScript) {
    const std::pair<const char*, const char*> cases[] = {
        {"你好世界", "zh"},
        {"我用 Linux 系统", "zh"},
        {"こんにちは", "jp"},
        {"日本語を話します", "jp"},
        {"안녕하세요", "kor"},
        {"Привет, мир", "ru"},
        {"Καλημέρα", "el"},
        {"مرحبا بالعالم", "ara"},
        {"สวัสดีครับ", "th"},
        {"Hello 世界 and everyone here", "en"},
        {"Crème brûlée", "en"},
        {"123 !?", "en"},
        {"", "en"},
    };
    for (const auto& [text, code] : cases)
        EXPECT_EQ(engine::SpeechCodeForScript(text), code) << text;
}

TEST(Speech, ConcurrentCallsMatchSerialOnes) {
    // Every text starts from the same library state, so the same request gives
    // the same bytes, whatever runs beside it.
    const std::pair<const char*, const char*> jobs[] = {
        {"en", "One voice per thread, all at once."},
        {"zh", "多个线程同时朗读。"},
        {"de", "Mehrere Stimmen gleichzeitig."},
        {"ru", "Несколько голосов сразу."},
    };
    std::vector<std::string> serial;
    for (const auto& [code, text] : jobs)
        serial.push_back(engine::Synthesize(text, code, 5).mp3);

    std::vector<engine::SpeechAudio> parallel(std::size(jobs) * 2);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < parallel.size(); ++i) {
        threads.emplace_back([&, i] {
            const auto& [code, text] = jobs[i % std::size(jobs)];
            parallel[i] = engine::Synthesize(text, code, 5);
        });
    }
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < parallel.size(); ++i) {
        const std::size_t job = i % std::size(jobs);
        ASSERT_FALSE(parallel[i].error) << parallel[i].error.text;
        EXPECT_FALSE(serial[job].empty());
        EXPECT_TRUE(parallel[i].mp3 == serial[job]) << jobs[job].first;
        const Decoded d = DecodeMp3(parallel[i].mp3);
        EXPECT_TRUE(d.ok) << jobs[job].first;
        EXPECT_GT(d.peak(), 3000) << jobs[job].first;
    }
}

TEST(Speech, AnEncoderDoesNotHoldUpOthersWhileItLives) {
    std::vector<std::int16_t> tone(22050);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<std::int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 22050));
    const std::string alone = engine::EncodeMp3(tone, 22050).mp3;

    // One encoder midway through its audio, as a long synthesis keeps it.
    auto open = std::make_unique<engine::Mp3Encoder>(22050);
    ASSERT_TRUE(open->Add(tone));
    auto other = std::async(std::launch::async, [&] { return engine::EncodeMp3(tone, 22050); });
    const bool finished = other.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(finished) << "the second encoder waited for the first to end";
    const engine::SpeechAudio first = open->Finish();
    open.reset(); // lets a waiting encoder go on, so a failure does not hang
    const engine::SpeechAudio second = other.get();
    ASSERT_FALSE(first.error) << first.error.text;
    ASSERT_FALSE(second.error) << second.error.text;
    EXPECT_TRUE(first.mp3 == alone);
    EXPECT_TRUE(second.mp3 == alone);
}

TEST(Speech, ALongTextDoesNotHoldUpAShortOneBehindIt) {
    std::string longText;
    while (longText.size() < 4000)
        longText += "This sentence is read again and again, so the text takes a while. ";
    std::atomic<bool> longDone = false;
    engine::SpeechAudio longAudio;
    std::thread reader([&] {
        longAudio = engine::Synthesize(longText, "en", 5);
        longDone = true;
    });
    // The long one gets its encoder first; with encoders taking turns the
    // short one could only finish after it.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const Decoded shortOne = Speak("Short and quick.", "en");
    const bool overtook = !longDone;
    reader.join();
    EXPECT_TRUE(overtook);
    EXPECT_TRUE(shortOne.ok);
    ASSERT_FALSE(longAudio.error) << longAudio.error.text;
    EXPECT_GT(DecodeMp3(longAudio.mp3).seconds(), 60);
}

} // namespace
