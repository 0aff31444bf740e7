#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Form-body encoding: ASCII letters and digits stay, every other byte becomes
// "%XX" with upper-case hex digits (a blank is "%20", never "+").
QByteArray PercentEncode(QByteArrayView bytes);

// The pieces between the delimiters, in order. Empty pieces that end at a
// delimiter are left out; the last piece (after the last delimiter, or the
// whole text) is always kept, even when empty. Linear time.
QList<QByteArray> SplitText(QByteArrayView text, QByteArrayView delimiter);
