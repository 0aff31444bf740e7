#pragma once

// Block compression of the stored-file container: a two-mode run-length code.
// A block either reserves a byte value absent from it as an escape marker, or,
// when all 256 values occur, lists the positions of its runs in a table at the
// end of the block. doc/storage-format.md describes the bytes.
//
// The decoders are safe against hostile input: they never read outside
// [input, input + length) nor write outside [output, output + capacity), and
// return -1 for input that would make them. The encoders trust their caller to
// provide the worst-case room.

#include <cstdint>

namespace FSSFPack {

// Every block but the last of a buffer decodes to exactly this many bytes, so
// an incompressible block's body (2 + 65533) still fits the 16-bit length.
inline constexpr int32_t BlockSize = 65533;

// The room PackBuffer needs for n bytes: the size field, the input and, per
// block, its length field and header.
int64_t PackBufferBound(int64_t n);

// Writes n as 32 bits, then the blocks; returns the bytes written.
int64_t PackBuffer(const uint8_t* source, int32_t n, uint8_t* destination);

// Decodes the blocks (without the leading size field) into destination.
// Returns the bytes decoded, or -1 when a block is damaged or would overrun
// capacity.
int64_t UnpackBuffer(const uint8_t* blocks, int64_t length, uint8_t* destination, int64_t capacity);

// n is at most BlockSize; body must hold n + 2 bytes. Returns the body length.
int32_t PackBlock(const uint8_t* source, int32_t n, uint8_t* body);

// Decodes one body of length bodyLength. Returns the bytes decoded, or -1.
int64_t UnpackBlock(const uint8_t* body, int32_t bodyLength, uint8_t* destination,
                    int64_t capacity);

} // namespace FSSFPack
