#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>

// The longest text the local engine reads aloud, in bytes of UTF-8; it
// refuses a longer one.
inline constexpr qsizetype kMaxSpeechTextBytes = 20000;

// The speech service's agent line, sent with every request.
extern const char* const kSpeechAgent;

// The form body of one speech request. The text is sent in full Unicode (the
// program's UTF-8), percent-encoded.
QByteArray SpeechPostData(QStringView text, const QString& languageCode);

// The cache folder of the downloaded recordings, inside the data folder.
QString SpeechCacheFolder();
// The file of a request started at the given tick count: "<tick>.mp3" in the cache.
QString SpeechFilePath(uint32_t tick);
