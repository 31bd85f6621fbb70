#pragma once
// The chunk file shared by the chart server's copy and the local store: a
// 40-byte header (magic, grid), an index of signed 64-bit entries (one per
// chunk, row by row) and chunk records. A record is a 76-byte header (ten word
// counts, words present, ten check bytes) and the chunk stream's words; level
// L of a chunk needs only its first n[L] words.
#include <cstddef>
#include <cstdint>

namespace chunkfile {

constexpr uint32_t kMagic = 0x484DF282;
constexpr size_t kHeaderSize = 40;
constexpr size_t kColumnsOffset = 12;
constexpr size_t kRowsOffset = 16;
constexpr size_t kIndexOffset = 40;
constexpr size_t kRecordHeaderSize = 76;
constexpr size_t kPresentOffset = 40;
constexpr size_t kChecksOffset = 44;
constexpr uint32_t kMaxWords = 0xFFFFF;
constexpr int kLevels = 10;
constexpr int kChunkSide = 1024;
constexpr uint32_t kChunkPixels = uint32_t(kChunkSide) * kChunkSide;
// A chunk is 16 x 16 tiles.
constexpr int kTilesPerChunk = 16;
// Server positions are byte offsets below this.
constexpr int64_t kServerPositionLimit = int64_t(1) << 40;
// The first bytes of a server record read at once.
constexpr size_t kFirstRecordRead = 4076;
// Grids beyond this many chunks are refused before anything is allocated
// (a 32 MB index; a chart that large would be four million chunks).
constexpr uint64_t kMaxChunks = uint64_t(1) << 22;

// Index entry values: a position, -1 (the chunk is known to be empty), or
// anything else below 1 (the chunk is not here).
constexpr int64_t kEmptyEntry = -1;
inline bool IsPosition(int64_t entry)
{
    return entry >= 1;
}
inline bool IsAbsentEntry(int64_t entry)
{
    return entry < 1 && entry != kEmptyEntry;
}

inline uint32_t Get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
inline int64_t Get64(const uint8_t* p)
{
    return int64_t(uint64_t(Get32(p)) | uint64_t(Get32(p + 4)) << 32);
}
inline void Put64(uint8_t* p, int64_t v)
{
    Put32(p, uint32_t(uint64_t(v)));
    Put32(p + 4, uint32_t(uint64_t(v) >> 32));
}

// The check byte of the first `count` words (little-endian, given as bytes).
uint8_t CheckByte(const uint8_t* words, uint32_t count);

// The 76-byte record header as read; the bytes not interpreted are kept so a
// rewrite leaves them as they were.
struct CRecordHeader
{
    uint8_t raw[kRecordHeaderSize] = {};

    uint32_t Count(int level) const { return Get32(raw + 4 * level); }
    uint32_t Present() const { return Get32(raw + kPresentOffset); }
    void SetPresent(uint32_t n) { Put32(raw + kPresentOffset, n); }
    uint8_t Check(int level) const { return raw[kChecksOffset + level]; }
    // n[0] within the limit, the counts never growing, n[9] >= 3, present <= n[0].
    bool Valid() const;
    // The first level from `level` on that the present words decode; 10 when none.
    int FirstDecodableLevel(int level) const;
};

// The chart's chunk grid: (tiles + 15) / 16 each way.
inline uint32_t ChunkGridSize(uint32_t tiles)
{
    return (tiles + kTilesPerChunk - 1) / kTilesPerChunk;
}

} // namespace chunkfile
