#include "speech/SpeechRequest.h"

#include "base/Paths.h"
#include "base/TextHelpers.h"
#include "base/Utf8.h"

const char* const kSpeechAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1; CIBA)";

QByteArray SpeechPostData(QStringView text, const QString& languageCode) {
    return "lan=" + languageCode.toLatin1() + "&ie=UTF-8&text=" + PercentEncode(Utf16ToUtf8(text)) +
           "&spd=5&source=web";
}

QString SpeechCacheFolder() {
    return LocalAppDataPath() + "/quilltts";
}

QString SpeechFilePath(uint32_t tick) {
    return SpeechCacheFolder() + '/' + QString::number(tick) + ".mp3";
}
