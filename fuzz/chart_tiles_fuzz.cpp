// Every tile decoder on arbitrary bytes: the first byte picks the level, the
// rest is the tile (or the chunk stream). Output stays inside its buffer and
// holds palette indices only.
#include "charts/TileDecoders.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int level = data[0] % (kMaxTileLevel + 1);
    const uint8_t* tile = data + 1;
    const size_t n = size - 1;
    const int count = kTilePixels >> level;
    std::vector<uint8_t> out(size_t(count) + 1, 0xEE);
    DecodeTileBytes(tile, n, out.data(), kTileSide >> level);
    for (int i = 0; i < count; ++i)
        if (out[size_t(i)] > 127)
            std::abort();
    if (out[size_t(count)] != 0xEE)
        std::abort();
    // Each kind directly, with the colour count taken from the data.
    if (n > 0) {
        const int colours = 1 + tile[0] % 127;
        DecodeHuffmanTile(tile, n, out.data(), count);
        DecodeRunLengthTile(tile, n, colours, out.data(), count);
        DecodePackedTile(tile, n, colours, out.data(), count);
    }
    // A chunk at a level from the first byte's high bits.
    const int chunkLevel = 3 + (data[0] >> 5); // 3 to 10: at most 128 K pixels
    const uint32_t chunkCount = chunkLevel > 9 ? 1 : 1024u * (1024u >> chunkLevel);
    std::vector<uint8_t> chunk(chunkCount + 1, 0xEE);
    auto end = DecodeChunkStream(tile, uint32_t(n / 4), chunk.data(), chunkCount);
    if (end && (*end > n / 4 || *end < 2))
        std::abort();
    if (chunk[chunkCount] != 0xEE)
        std::abort();
    return 0;
}
