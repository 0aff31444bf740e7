#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// UTF-8 as the program's requests carry it: every UTF-16 code unit is encoded on
// its own in 1, 2 or 3 bytes, so a surrogate pair becomes two 3-byte sequences.
QByteArray Utf16ToUtf8(QStringView text);

// Decodes 1- to 4-byte sequences (4-byte ones become surrogate pairs) and passes
// 3-byte encoded surrogates through as code units, so an encoded pair becomes its
// character again. A malformed sequence decodes to U+FFFD; never reads past the end.
QString Utf8ToUtf16(QByteArrayView bytes);
