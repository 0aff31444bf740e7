#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The translated lines of the service's answer, each followed by CR LF, still
// in UTF-8. The answer is split at "["; every piece that begins with a quote
// and holds quote-comma-quote gives its first quoted string, until the first
// piece that holds "]]". A first quoted string that ends in the escaped line
// break backslash-r-backslash-n loses those four characters (its line ends
// anyway); every other escaped line break becomes CR LF, and no other escape
// is decoded. Safe for any bytes: never reads outside `body`.
QByteArray ParseTranslationResponse(QByteArrayView body);

// The answer as a line list would hold it: the text up to the first zero
// byte, broken into lines at CR LF, LF or CR, each line followed by CR LF.
QByteArray StringListText(QByteArrayView bytes);
