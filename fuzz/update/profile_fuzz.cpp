// Any bytes as a downloaded version file. The reader must stay inside them,
// and a value read from valid UTF-8 must stay within the byte limit without a
// split character.
#include "update/IniProfile.h"

#include <QStringDecoder>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(const TIniProfile& profile, const QString& section, const QString& key, bool validText) {
    const QString value = profile.ReadString(section, key, QStringLiteral("\x01"));
    if (validText && value.toUtf8().size() > TIniProfile::MaxValueBytes)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(text);
    const bool validText = !decoder.hasError();
    const TIniProfile profile(text);
    for (const char* key : {"version", "NewVersionPrompt", "Path"})
        Check(profile, QStringLiteral("information"), QString::fromLatin1(key), validText);
    // A section and key named by the input itself, so the fuzzer can reach
    // names with blanks, brackets and odd cases.
    const QStringList words = decoded.left(64).split(QLatin1Char('\n'));
    if (words.size() >= 2)
        Check(profile, words[0], words[1], validText);
    return 0;
}
