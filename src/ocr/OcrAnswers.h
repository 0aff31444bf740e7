#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The recognition engines' answers are read as single-byte text cut at fixed
// markers; no JSON parsing is involved.

// The answer body as text: line breaks (CR, LF, CR LF) become CR LF, the last
// line gets one too, and a zero byte ends the text.
QByteArray AnswerText(QByteArrayView body);

// Engine one: the text between every "words":" and the next "} (the text before
// the first marker counts as a piece too). Each line ends with CR LF.
QByteArray ExtractWordValues(QByteArrayView answer);

// Engine two: the text between the first [" and the first "], empty when either
// is missing or they are out of order.
QByteArray ExtractBracketedText(QByteArrayView answer);

// Engine two: the bracketed list split at ",", each line ended with CR LF;
// empty pieces between separators are dropped, a trailing empty one is kept.
QByteArray ExtractStringListLines(QByteArrayView answer);

// Replaces every \uXXXX with the UTF-8 form of that UTF-16 code unit (each unit
// on its own, so escaped surrogate pairs survive the later decoding). Nothing
// when an escape's four characters are not all hexadecimal digits.
std::optional<QByteArray> DecodeUnicodeEscapes(QByteArrayView text);

// What the source box shows while the picture is uploaded.
QString OcrProgressText(int percentsDone);

// The one message for every failed recognition transfer.
QString OcrConnectErrorText();
