// Chunk fetches from a chart server whose chunk file is the input: its
// header, index blocks, record headers and words, served from memory to a
// fresh local store of a 2 x 2 chunk chart. The first byte's low bit makes the
// header's magic and grid right so the deeper paths are reached. Nothing may
// crash or read outside its buffers, and every chunk decodes to palette
// indices at a level no coarser than asked allows.
#include "charts/chunked/ChunkFormat.h"
#include "charts/chunked/ChunkStore.h"

#include "FuzzScratch.h"
#include "MemoryWebServer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr const char* kServerPath = "/mapchunks/fuzz.rl3";

// (row, column, level) in the order a view zooms in: a coarse fetch, finer
// ones of the same chunk (the local record grows), then the others.
constexpr int kFetches[][3] = {{0, 0, 9}, {0, 0, 5}, {0, 0, 0}, {1, 1, 3}, {0, 1, 0}, {1, 0, 7}};
// Decoding is fuzzed on its own; here a coarse picture shows what was fetched.
constexpr int kCoarsestDecode = 6;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = fuzzsupport::ScratchFolder("chunkserver");
    if (folder.empty() || size < 1 || size > (1u << 20))
        return 0;
    std::vector<uint8_t> file(data + 1, data + size);
    if (data[0] & 1) {
        if (file.size() < chunkfile::kHeaderSize)
            file.resize(chunkfile::kHeaderSize, 0);
        chunkfile::Put32(file.data(), chunkfile::kMagic);
        chunkfile::Put32(file.data() + chunkfile::kColumnsOffset, 2);
        chunkfile::Put32(file.data() + chunkfile::kRowsOffset, 2);
    }
    fuzzsupport::CMemoryWebServer web([&](const std::string& path, const uint8_t*& bytes, size_t& length) {
        if (path != kServerPath)
            return false;
        bytes = file.data();
        length = file.size();
        return true;
    });

    static std::vector<uint8_t> buffer(chunkfile::kChunkPixels + 1);
    const std::string local = folder + "/store.rl3";
    ::unlink(local.c_str());
    {
        std::shared_ptr<CChunkStore> store = CChunkStore::Acquire(local, 2, 2);
        if (!store)
            std::abort();
        store->SetServerPath(kServerPath);
        for (const auto& [row, column, level] : kFetches) {
            const bool fetched = store->FetchChunk(web, row, column, level);
            buffer[chunkfile::kChunkPixels] = 0xEE;
            int decoded = -1;
            const int shown = std::max(level, kCoarsestDecode);
            const auto result = store->DecodeChunk(row, column, shown, buffer.data(), decoded);
            if (buffer[chunkfile::kChunkPixels] != 0xEE)
                std::abort();
            if (result == CChunkStore::DecodeResult::Decoded) {
                if (decoded < shown || decoded > chunkfile::kLevels)
                    std::abort();
                // A fetch that succeeded leaves the asked level decodable.
                if (fetched && decoded == chunkfile::kLevels && !store->IsAbsent(row, column) &&
                    store->ReadEntry(row, column) != chunkfile::kEmptyEntry)
                    std::abort();
                for (size_t i = 0; i < chunkfile::kChunkPixels; i += 997)
                    if (buffer[i] > 127)
                        std::abort();
            }
        }
        // A store loaded from the server holds its grid.
        if (store->IsLoaded() && (store->Columns() != 2 || store->Rows() != 2))
            std::abort();
    }
    return 0;
}
