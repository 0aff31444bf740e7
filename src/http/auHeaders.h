#pragma once

#include "http/auTransfer.h"
#include "http/auUtils.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>

// Pure helpers of the transfer procedure: bytes and values in, bytes out. No
// libcurl, no stream, no thread.

// The URL libcurl is given: scheme, host and port of the parts as written, the
// path and query escaped where they may not stand in a request target (escapes
// already in the URL go out untouched). User name and password travel apart.
QByteArray BuildTarget(const RawUrlParts& raw, bool secure);

// True when the request is sent as a POST.
bool UsesPost(const TransferRequest& request);

// Header lines of a request in the order sent: Accept, the caller's lines, the
// range line, the cache lines, and the blanks that keep libcurl's own Expect
// and Content-Type out. Nothing when a text could break the request: a CR, LF
// or NUL in a line, the agent, the referrer or the accept types, or a line
// that is no header.
std::optional<QList<QByteArray>> BuildHeaderLines(const TransferRequest& request);

// A caller's "Name: value" line that can go out as one header line.
bool ValidHeaderLine(const QString& line);

// A decimal number that fits a signed 32-bit value; 0 otherwise.
int ContentLengthValue(const QByteArray& text);

// The realm of a WWW-Authenticate value: what follows the first '="' up to
// the value's last character; the whole value when there is no such pair.
QByteArray RealmOf(const QByteArray& value);

// One answer's status line and header lines, as they arrive.
struct HeaderBlock {
    QByteArray statusLine;
    QList<QByteArray> lines;
    int status = -1;    // -1 until a status line came; 0 when it carries no number
    qsizetype size = 0; // bytes of the block so far, line ends included

    // First value of a header (name without regard to case): the text up to
    // its first zero byte. False when absent, or when the value does not fit a
    // 4096-byte query buffer with its terminating zero.
    bool Value(QByteArrayView name, QByteArray& value) const;
    bool Has(QByteArrayView name) const;
    // The answer announces no length: a transfer coding decides where it ends,
    // and any Content-Length beside it is void.
    bool TransferCoded() const;
    // Status line and header lines, each closed by CR LF, and the empty line.
    QByteArray Raw() const;
};

// The status of an "HTTP/..." line (0 when it carries no number), or -1 for a
// line that is no status line.
int StatusOfLine(const QByteArray& line);

// What a complete header block is to the transfer.
enum class BlockKind {
    Interim,  // 1xx: the answer follows
    Tunnel,   // the proxy opened a CONNECT tunnel: the answer comes through it
    Followed, // a redirect libcurl follows
    Final,    // the answer (a refused CONNECT included: its status is the outcome)
};
// proxyAnswer: the block is the proxy's answer to CONNECT. libcurl follows
// every 3xx that names a Location.
BlockKind ClassifyBlock(int status, bool proxyAnswer, bool hasLocation);
