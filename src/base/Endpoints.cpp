#include "base/Endpoints.h"

#include <QtGlobal>

namespace {

struct Row {
    Endpoint endpoint;
    const char* variable;
    const char* defaultUrl;
};

// The translation service speaks the public "translate_a/single" form; the
// recognition, speech, update and feedback services live on our own host.
constexpr Row kEndpoints[] = {
    {Endpoint::Translate, "QUILLMATE_TRANSLATE_URL",
     "http://translate.googleapis.com/translate_a/single"},
    {Endpoint::Ocr1, "QUILLMATE_OCR1_URL", "http://api.quillmate.net/ocrapi1"},
    {Endpoint::Ocr2, "QUILLMATE_OCR2_URL", "http://api.quillmate.net/getocr"},
    {Endpoint::Tts, "QUILLMATE_TTS_URL", "http://api.quillmate.net/gettts"},
    {Endpoint::Update, "QUILLMATE_UPDATE_URL", "http://www.quillmate.net/update/quillversion.txt"},
    {Endpoint::Feedback, "QUILLMATE_FEEDBACK_URL", "http://www.quillmate.net/feedback/addinfo.asp"},
    {Endpoint::Home, "QUILLMATE_HOME_URL", "http://www.quillmate.net/translation.htm"},
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
    return value.isEmpty() ? QString::fromLatin1(row.defaultUrl) : value;
}

const char* EndpointVariable(Endpoint endpoint) {
    return RowOf(endpoint).variable;
}
