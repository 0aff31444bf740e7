#include "base/Endpoints.h"

#include <QtGlobal>

namespace {

struct Row {
    Endpoint endpoint;
    const char* variable;
    const char* defaultUrl; // nullptr: served by the local engine
    const char* enginePath;
};

// The translation service speaks the public "translate_a/single" form;
// recognition and speech are our own local engine unless a variable names
// another server; update and feedback live on our own host. What crosses the
// internet goes over TLS: the user's text is private, and a redirect from
// plain HTTP to HTTPS would turn a POST into a GET.
constexpr Row kEndpoints[] = {
    {Endpoint::Translate, "QUILLMATE_TRANSLATE_URL",
     "https://translate.googleapis.com/translate_a/single", nullptr},
    {Endpoint::Ocr1, "QUILLMATE_OCR1_URL", nullptr, "ocrapi1"},
    {Endpoint::Ocr2, "QUILLMATE_OCR2_URL", nullptr, "getocr"},
    {Endpoint::Tts, "QUILLMATE_TTS_URL", nullptr, "gettts"},
    {Endpoint::Update, "QUILLMATE_UPDATE_URL", "https://www.quillmate.net/update/quillversion.txt",
     nullptr},
    {Endpoint::Feedback, "QUILLMATE_FEEDBACK_URL", "https://www.quillmate.net/feedback/addinfo.asp",
     nullptr},
    {Endpoint::Home, "QUILLMATE_HOME_URL", "https://www.quillmate.net/translation.htm", nullptr},
    // The second translation engine: a token, then the translation.
    {Endpoint::BingAuth, "QUILLMATE_BING_AUTH_URL", "https://edge.microsoft.com/translate/auth",
     nullptr},
    {Endpoint::Bing, "QUILLMATE_BING_URL",
     "https://api-edge.cognitive.microsofttranslator.com/translate", nullptr},
};

const Row& RowOf(Endpoint endpoint) {
    for (const Row& row : kEndpoints)
        if (row.endpoint == endpoint)
            return row;
    return kEndpoints[0];
}

} // namespace

QString EndpointUrl(Endpoint endpoint) {
    const Row& row = RowOf(endpoint);
    const QString value = qEnvironmentVariable(row.variable);
    if (!value.isEmpty() || !row.defaultUrl)
        return value;
    return QString::fromLatin1(row.defaultUrl);
}

bool UsesLocalEngine(Endpoint endpoint) {
    const Row& row = RowOf(endpoint);
    return row.enginePath && qEnvironmentVariableIsEmpty(row.variable);
}

QString LocalEnginePath(Endpoint endpoint) {
    return QString::fromLatin1(RowOf(endpoint).enginePath);
}

const char* EndpointVariable(Endpoint endpoint) {
    return RowOf(endpoint).variable;
}
