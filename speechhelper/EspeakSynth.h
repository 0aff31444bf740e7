#pragma once

#include "speechwire/SpeechWire.h"

#include <string>
#include <vector>

namespace speechhelper {

// espeak-ng in memory, for one text per process: it never opens a sound
// device. Start once before the rest; the rate of its samples, 0 when the
// library could not start (no voice data).
int StartEspeak();

// The names SpeakTo accepts as voice, lower case ("cmn-latn-pinyin").
std::vector<std::string> VoiceNames();

// Writes the header and then the samples of text to out as they come. text is
// read as plain text, never as markup or phoneme codes; voice is an installed
// voice file name ("en-us").
speechwire::Exit SpeakTo(int out, const std::string& text, const std::string& voice,
                         int wordsPerMinute, int sampleRate);

} // namespace speechhelper
