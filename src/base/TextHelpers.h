#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Form-body encoding: ASCII letters and digits stay, every other byte becomes
// "%XX" with upper-case hex digits (a blank is "%20", never "+").
QByteArray PercentEncode(QByteArrayView bytes);

// The pieces between the delimiters, in order. Empty pieces that end at a
// delimiter are left out; the last piece (after the last delimiter, or the
// whole text) is always kept, even when empty. Linear time.
QList<QByteArray> SplitText(QByteArrayView text, QByteArrayView delimiter);

// The lines of a text: the pieces between LF characters, each without one CR
// that ends it, so LF and CR LF files read alike (a lone CR inside a line
// stays). The piece after the last LF is always kept, even when empty.
QStringList SplitLines(QStringView text);
QList<QByteArray> SplitLines(QByteArrayView text);

// The lines of a text joined by CR LF, the line break the services expect:
// every CR LF, lone CR and lone LF becomes one CR LF; nothing is added at the end.
QString JoinCrLf(QStringView text);
