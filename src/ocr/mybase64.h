#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

class QIODevice;

// Standard base64 (RFC 4648 section 4) without line breaks. dest must hold
// 4 * ceil(n / 3) bytes; that count is returned.
size_t Base64EncodeBlock(const uint8_t* source, size_t n, char* dest);

// Converts a block of n input bytes into out and returns the bytes written.
using TransformBlock = std::function<size_t(const uint8_t* in, size_t n, char* out)>;

// Feeds the range [start, start + count) of input through convert in chunks of
// inChunk bytes and writes each converted chunk to output. A count of 0 (or one
// past the end) means up to the end of the input; a start that is negative or
// not below the input's size does nothing. outChunk must hold the largest
// conversion of one input chunk.
void TransformStreamRange(QIODevice& input, QIODevice& output, const TransformBlock& convert,
                          int64_t start, int64_t count, int inChunk, int outChunk);

// The range as base64, read in chunks of 6144 bytes (a multiple of 3, so only
// the last chunk can carry padding).
void Base64EncodeStream(QIODevice& input, QIODevice& output, int64_t start, int64_t count);

// The whole file as one base64 line followed by CR LF; an empty or unreadable
// file gives the empty text.
QByteArray ReadFileAsBase64(const QString& path);
