#pragma once
// The chart file's fixed layout and the checked reads every reader of it uses.
// All integers are little-endian 32-bit words, doubles IEEE 754 little-endian;
// strings are zero-terminated ISO 8859-1 at a file offset (0: none).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace chartfile {

constexpr uint32_t kMagic = 0x1423D5FF; // bit 0 of the stored word is ignored
constexpr size_t kHeaderSize = 416;
constexpr size_t kPaletteOffset = 416;
constexpr size_t kMixingOffset = 1440;
constexpr size_t kTileTableOffset = 17824;
// The smallest file that can be a chart: the header, palette, mixing table
// and at least one tile-table word.
constexpr size_t kMinFileSize = 17832;
constexpr size_t kCoefficientOffset = 96; // forward then inverse sets
constexpr size_t kCoefficientBlockSize = 320;
constexpr size_t kExtensionSize = 32;
// The tile grid is bounded so that pixel sizes and chunk keys stay in range.
constexpr uint32_t kMaxTiles = 1u << 20;
constexpr size_t kMaxStringBytes = 1023;

// Header word numbers.
enum Word : int {
    kWordMagic = 0,
    kWordVersion = 1,
    kWordWidth = 2,
    kWordHeight = 3,
    kWordTitle2 = 4,
    kWordName = 5,
    kWordIdentifier = 6,
    kWordEdition = 7,
    kWordRevision = 8,
    kWordRights = 10,
    kWordScale = 11,
    kWordDepths = 13,
    kWordHeights = 14,
    kWordFlags = 16,
    kWordExtension = 21,
    kWordOutlineCount = 22,
    kWordOutlineOffset = 23,
};

// Extension block word numbers.
enum ExtensionWord : int {
    kExtMapType = 0,
    kExtDatumShift = 1,
    kExtProduct = 5,
    kExtChunkAddress = 7,
};

// Chart kinds (the top byte of word 1).
constexpr uint8_t kKindSingleFile = 0x00;
constexpr uint8_t kKindChunked = 0x01;
constexpr uint8_t kKindChunkedAlt = 0x20;
constexpr uint8_t kKindRL2 = 0x10;

inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline double LeDouble(const uint8_t* p)
{
    uint64_t bits = uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
}

inline bool MagicOK(uint32_t word0)
{
    return (word0 | 1u) == kMagic;
}
// Format versions 0 to 5 are understood.
inline bool VersionOK(uint32_t word1)
{
    return ((word1 & 0xFFFFFFu) & ~1u) < 6;
}
inline uint8_t KindOf(uint32_t word1)
{
    return uint8_t(word1 >> 24);
}

// True when [offset, offset + length) lies inside a file of `size` bytes.
inline bool SpanInside(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

// ISO 8859-1 bytes to UTF-8.
std::string Latin1ToUtf8(const uint8_t* bytes, size_t length);

// The string at `offset` of a mapped file of `size` bytes: at most 1,023
// bytes, cut at the first zero byte or the end of the file. Offset 0 or an
// offset outside the file gives "".
std::string StringAt(const uint8_t* file, uint64_t size, uint64_t offset);

} // namespace chartfile

// The same from an open file descriptor (used by scans that do not map the
// file): seek, read at most 1,023 bytes, cut at the first zero, convert.
// Offset 0, a failed seek or a failed read leave `out` empty.
void ReadHeaderString(int fd, uint32_t offset, std::string& out);
