#pragma once
// Chart pixels are 7-bit palette indices compressed tile by tile (64 x 64) or
// chunk by chunk (1024 x 1024). Rows are stored in bit-reversed order so that
// the first rows of a tile are a coarser picture of it: decoding at level L
// means decoding only the first 64 >> L stored rows.
//
// Every decoder here takes the bytes that really exist. Data that runs out or
// contradicts itself makes the tile "unreadable": the whole output becomes
// palette index 0 and the decoder says false. No decoder reads outside what it
// was given, loops without end, or writes past its output.
#include <cstddef>
#include <cstdint>
#include <optional>

// A tile has 64 x 64 pixels; a tile buffer holds up to this many bytes.
constexpr int kTileSide = 64;
constexpr int kTilePixels = kTileSide * kTileSide;
// Levels 0 (whole tile) to 6 (one row).
constexpr int kMaxTileLevel = 6;
// Decoders never look further than this past a tile's start.
constexpr size_t kMaxTileBytes = 1u << 20;

// Stored row s holds image row BitReverse6(s); the mapping is its own inverse.
inline int BitReverse6(int v)
{
    v &= 63;
    return ((v & 1) << 5) | ((v & 2) << 3) | ((v & 4) << 1) | ((v & 8) >> 1) | ((v & 16) >> 3) |
           ((v & 32) >> 5);
}
inline int BitReverse4(int v)
{
    v &= 15;
    return ((v & 1) << 3) | ((v & 2) << 1) | ((v & 4) >> 1) | ((v & 8) >> 3);
}
int BitReverse10(int v);

// The three single-file tile kinds. Each writes exactly `count` pixels (a
// multiple of 64, at most 4096) into `out`; false means the tile was corrupt
// and `out` holds index 0 throughout. `data`/`size` start after the kind byte.
bool DecodeHuffmanTile(const uint8_t* tree, size_t size, uint8_t* out, int count);
bool DecodeRunLengthTile(const uint8_t* data, size_t size, int colours, uint8_t* out, int count);
bool DecodePackedTile(const uint8_t* data, size_t size, int colours, uint8_t* out, int count);

// Decodes the first rows * 64 pixels of a single-file tile by its first byte
// (`CRasterleaf::DecodeTile`). `size` is the number of bytes available from
// `data` on; rows is 64 >> level.
bool DecodeTileBytes(const uint8_t* data, size_t size, uint8_t* out, int rows);

// One chunk of a chunked chart: `words` 32-bit little-endian words (given as
// bytes, any alignment). Decodes `count` pixels; the result is the index of
// the word just after the last bit-stream word used, or nothing on failure
// (then nothing further is written).
std::optional<uint32_t> DecodeChunkStream(const uint8_t* words, uint32_t wordCount, uint8_t* out,
                                          uint32_t count);
