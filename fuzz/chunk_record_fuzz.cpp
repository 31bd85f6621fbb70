// The chunk decoder on arbitrary record bytes: the first byte picks the
// level, the next 76 bytes are the record header, the rest its words. The
// output stays inside its buffer and holds palette indices only.
#include "charts/chunked/ChunkFormat.h"
#include "charts/chunked/ChunkStore.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 + chunkfile::kRecordHeaderSize)
        return 0;
    static std::vector<uint8_t> buffer(chunkfile::kChunkPixels + 1);
    const int level = data[0] % chunkfile::kLevels;
    chunkfile::CRecordHeader header;
    std::memcpy(header.raw, data + 1, chunkfile::kRecordHeaderSize);
    const uint8_t* words = data + 1 + chunkfile::kRecordHeaderSize;
    const uint32_t wordCount = uint32_t((size - 1 - chunkfile::kRecordHeaderSize) / 4);
    buffer[chunkfile::kChunkPixels] = 0xEE;
    int decoded = -1;
    const bool ok = DecodeRecordWords(header, words, wordCount, level, buffer.data(), decoded);
    if (buffer[chunkfile::kChunkPixels] != 0xEE)
        std::abort();
    if (ok) {
        if (decoded < level || decoded > chunkfile::kLevels)
            std::abort();
        const size_t filled = decoded == chunkfile::kLevels
                                  ? chunkfile::kChunkPixels
                                  : size_t(chunkfile::kChunkSide) * (chunkfile::kChunkSide >> level);
        for (size_t i = 0; i < filled; ++i)
            if (buffer[i] > 127)
                std::abort();
    }
    // The check byte never reads past the words it is given.
    chunkfile::CheckByte(words, wordCount);
    return 0;
}
