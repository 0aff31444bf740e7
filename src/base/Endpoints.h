#pragma once

#include <QString>

// Every outside address the program talks to, in one table. Each has a
// built-in default and can be replaced by its environment variable (tests
// point them at a loopback stand-in; users behind a mirror use them too).
enum class Endpoint {
    Translate, // QUILLMATE_TRANSLATE_URL  ".../translate_a/single"
    Ocr1,      // QUILLMATE_OCR1_URL       ".../ocrapi1"
    Ocr2,      // QUILLMATE_OCR2_URL       ".../getocr"
    Tts,       // QUILLMATE_TTS_URL        ".../gettts"
    Update,    // QUILLMATE_UPDATE_URL     ".../update/quillversion.txt"
    Feedback,  // QUILLMATE_FEEDBACK_URL   ".../feedback/addinfo.asp"
    Home,      // QUILLMATE_HOME_URL       ".../translation.htm"
    BingAuth,  // QUILLMATE_BING_AUTH_URL  ".../translate/auth"
    Bing,      // QUILLMATE_BING_URL       ".../translate"
};

// The full URL of an endpoint, read from the environment at each call; empty
// for an endpoint of the local engine whose variable is unset.
QString EndpointUrl(Endpoint endpoint);
// True when the endpoint is served by the local engine (recognition and
// speech, while their variables are unset).
bool UsesLocalEngine(Endpoint endpoint);
// The endpoint's path below the local engine's base URL ("ocrapi1"...).
QString LocalEnginePath(Endpoint endpoint);
// The environment variable that overrides it.
const char* EndpointVariable(Endpoint endpoint);
