// The local chunk store reader on arbitrary bytes: the input becomes the
// store of a chart with 2 x 2 chunks, which is opened and drawn. Nothing may crash, read outside its buffers
// or hang; every pixel stays a palette index.
#include "charts/chunked/Rasterleaf3.h"
#include "chunkwriter/ChunkWriter.h"

#include "FuzzScratch.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string Folder()
{
    static const std::string folder = [] {
        std::string made = fuzzsupport::ScratchFolder("chunkstore");
        chunkwriter::CChunkedChart chart(20, 24, std::vector<uint8_t>(20 * 64 * 24 * 64, 5));
        if (!made.empty())
            chart.WriteChartFile(made + "/fuzz.rlt");
        return made;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string folder = Folder();
    if (folder.empty() || size > (1u << 20))
        return 0;
    const std::string store = folder + "/fuzz.rl3";
    int fd = ::open(store.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return 0;
    const bool written = ::write(fd, data, size) == ssize_t(size);
    ::close(fd);
    if (!written)
        return 0;
    std::unique_ptr<CRasterleaf> chart(OpenChartFile(nullptr, folder + "/fuzz.rlt"));
    if (!chart)
        return 0;
    auto* chunked = dynamic_cast<CRasterleaf3*>(chart.get());
    if (!chunked)
        std::abort();
    CChunkStore* s = chunked->GetChunkStore();
    std::vector<uint8_t> tile(kTilePixels);
    // Each drawn chunk costs a whole decoded chunk: one per input, which one
    // and at which level following the input's size, so every chunk and
    // level is reached across the corpus.
    const int i = int(size % 4), level = int(size / 4 % (kMaxTileLevel + 1));
    CTileContext context;
    if (chart->GetTile((i & 1) * 16 + 3, (i >> 1) * 16 + 5, level, tile.data(), &context) != 0)
        std::abort();
    for (size_t p = 0; p < size_t(kTilePixels >> level); ++p)
        if (tile[p] > 127)
            std::abort();
    for (int c = 0; c < 4; ++c)
        s->IsComplete(c >> 1, c & 1);
    return 0;
}
