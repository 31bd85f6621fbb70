#pragma once
// Chunked charts for tests and benchmarks: the chart file with its chunk
// address, the server's chunk file (header, index, records with per-level
// word counts and check bytes), local stores (one file or a folder of parts,
// sparse ones reaching past 32 MB, 2^31 and 2^32 bytes), and the loopback
// handlers that serve chunk files, their parts and redirect files.
#include "chartwriter/ChartWriter.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tessatest {
class LoopbackServer;
struct LoopbackRequest;
struct LoopbackResponse;
} // namespace tessatest

namespace chunkwriter {

// A file held as pieces at offsets; every other byte is 0. Big files cost
// only their pieces.
struct CSparseFile
{
    uint64_t size = 0;
    std::map<uint64_t, std::vector<uint8_t>> pieces;
    // Byte ranges [first, end) whose reads the server answers with 500.
    std::vector<std::pair<uint64_t, uint64_t>> failing;

    void Put(uint64_t offset, const std::vector<uint8_t>& bytes);
    void Put32(uint64_t offset, uint32_t value);
    void Put64(uint64_t offset, int64_t value);
    uint8_t ByteAt(uint64_t offset) const;
    std::vector<uint8_t> Slice(uint64_t offset, uint64_t length) const;
};

// One chunk's record: the 76-byte header (counts, words present = n[0],
// checks) and the words of its stream. `stored` holds 1024 x 1024 pixels in
// stored (bit-reversed) row order.
std::vector<uint8_t> BuildChunkRecord(const uint8_t* stored);
// The counts n[0..9] of a record built above.
std::vector<uint32_t> RecordCounts(const std::vector<uint8_t>& record);

// A test picture: flat areas, coast-like edges, lines and a few fine details.
std::vector<uint8_t> MakeChartImage(int width, int height, uint32_t seed);
// A palette of clearly different colours and its averaging mixing table.
void MakeTestPalette(uint32_t palette[128], uint8_t mixing[128 * 128]);

struct CServerStoreOptions
{
    // Where the first record goes; 0: right after the index.
    uint64_t firstRecordAt = 0;
    // Bytes left between records (to spread them over big files).
    uint64_t gap = 0;
    std::set<uint32_t> emptyChunks;   // index -1 (row << 16 | column)
    std::set<uint32_t> missingChunks; // index 0
    std::set<uint32_t> failingChunks; // in the file, but every read of their record answers 500
    // A grid other than the chart's (for servers that send a wrong one).
    std::optional<uint32_t> columns, rows;
};

class CChunkedChart
{
public:
    // A chart of widthTiles x heightTiles tiles showing `image` (64 * width by
    // 64 * height palette indices, image row order).
    CChunkedChart(uint32_t widthTiles, uint32_t heightTiles, std::vector<uint8_t> image);

    uint32_t widthTiles, heightTiles;
    std::vector<uint8_t> image;
    uint32_t palette[128];
    uint8_t mixing[128 * 128];
    std::optional<std::string> chunkAddress;
    uint8_t kind = 0x01;

    int PixelWidth() const { return int(64 * widthTiles); }
    int PixelHeight() const { return int(64 * heightTiles); }
    uint32_t Columns() const { return (widthTiles + 15) / 16; }
    uint32_t Rows() const { return (heightTiles + 15) / 16; }

    // The chunk in stored order; pixels beyond the image are index 1.
    std::vector<uint8_t> StoredChunk(uint32_t column, uint32_t row) const;
    // The record of a chunk (built once, then kept).
    const std::vector<uint8_t>& Record(uint32_t column, uint32_t row) const;

    // The chunked chart file (no pixels) and the same picture as a single-file chart.
    bool WriteChartFile(const std::string& path) const;
    bool WriteSingleFileChart(const std::string& path) const;
    chartwriter::CChartWriter MakeWriter(bool chunked) const;

    // The server's chunk file.
    CSparseFile BuildServerStore(const CServerStoreOptions& options = {}) const;
    // Where BuildServerStore put each record (key row << 16 | column).
    mutable std::map<uint32_t, uint64_t> serverPositions;

    // A local store holding `chunks` (all when empty) with the words of
    // `level` present (-1: all words), its records from `firstRecordAt` on.
    // `folder`: a folder of parts, positions (part << 32) | offset.
    bool WriteLocalStore(const std::string& path, bool folder, uint64_t firstRecordAt = 0,
                         const std::set<uint32_t>& chunks = {}, int level = -1) const;

private:
    mutable std::map<uint32_t, std::vector<uint8_t>> m_records;
};

// Serves `file` at `path`; past 2^31 bytes as parts "path", "path.1", ...
void ServeChunkFile(tessatest::LoopbackServer& server, const std::string& path,
                    std::shared_ptr<const CSparseFile> file);
// A GET of the `size` bytes of `file` from `base` on (a part of it): 500 for
// a read that touches one of its failing ranges, else 200 or 206 with the
// bytes, as the server's own file handling answers. Tests wrap it to watch reads.
tessatest::LoopbackResponse AnswerChunkFileRead(const CSparseFile& file, uint64_t base, uint64_t size,
                                                const tessatest::LoopbackRequest& request);
// The chunks (row << 16 | column) whose records the GET requests in `requests`
// for `path` read, by the record positions of the chart's last server store.
std::set<uint32_t> FetchedChunks(const std::vector<tessatest::LoopbackRequest>& requests,
                                 const std::string& path, const CChunkedChart& chart);

// Serves the redirect file of a chunk path ("<path>.slredir.txt").
void ServeRedirect(tessatest::LoopbackServer& server, const std::string& chunkPath, const std::string& text);

// Sends the chunk host `host` to the loopback server on `port`; every other
// host is left alone. SetChunkHostMapForTesting({}) undoes it.
void MapChunkHostToLoopback(const std::string& host, int port);

// Makes `path` a sparse file of `size` bytes (its parents made as needed).
bool MakeSparseFile(const std::string& path, uint64_t size);

} // namespace chunkwriter
