#include "chunkwriter/ChunkWriter.h"

#include "charts/TileDecoders.h"
#include "charts/chunked/ChunkAddress.h"
#include "charts/chunked/ChunkFormat.h"
#include "loopback/LoopbackServer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <unistd.h>

namespace chunkwriter {

using namespace chunkfile;

void CSparseFile::Put(uint64_t offset, const std::vector<uint8_t>& bytes)
{
    if (bytes.empty())
        return;
    // Bytes inside an existing piece go into it (index entries into the index).
    auto it = pieces.upper_bound(offset);
    if (it != pieces.begin()) {
        --it;
        if (offset - it->first + bytes.size() <= it->second.size()) {
            std::memcpy(it->second.data() + (offset - it->first), bytes.data(), bytes.size());
            return;
        }
    }
    std::vector<uint8_t>& piece = pieces[offset];
    if (piece.size() < bytes.size())
        piece.resize(bytes.size());
    std::memcpy(piece.data(), bytes.data(), bytes.size());
    size = std::max(size, offset + bytes.size());
}

void CSparseFile::Put32(uint64_t offset, uint32_t value)
{
    std::vector<uint8_t> b(4);
    chunkfile::Put32(b.data(), value);
    Put(offset, b);
}

void CSparseFile::Put64(uint64_t offset, int64_t value)
{
    std::vector<uint8_t> b(8);
    chunkfile::Put64(b.data(), value);
    Put(offset, b);
}

uint8_t CSparseFile::ByteAt(uint64_t offset) const
{
    auto it = pieces.upper_bound(offset);
    if (it == pieces.begin())
        return 0;
    --it;
    const uint64_t inside = offset - it->first;
    return inside < it->second.size() ? it->second[size_t(inside)] : 0;
}

std::vector<uint8_t> CSparseFile::Slice(uint64_t offset, uint64_t length) const
{
    std::vector<uint8_t> out(size_t(length), 0);
    for (uint64_t i = 0; i < length; ++i)
        out[size_t(i)] = ByteAt(offset + i);
    return out;
}

std::vector<uint8_t> BuildChunkRecord(const uint8_t* stored)
{
    std::vector<uint8_t> words = chartwriter::EncodeChunkStream(stored, kChunkPixels);
    const uint32_t total = uint32_t(words.size() / 4);
    std::vector<uint8_t> record(kRecordHeaderSize, 0);
    std::vector<uint8_t> scratch(kChunkPixels);
    for (int level = 0; level < kLevels; ++level) {
        const uint32_t count = uint32_t(kChunkSide) * uint32_t(kChunkSide >> level);
        const auto used = DecodeChunkStream(words.data(), total, scratch.data(), count);
        const uint32_t n = used ? *used : total;
        chunkfile::Put32(record.data() + 4 * level, n);
        record[kChecksOffset + size_t(level)] = CheckByte(words.data(), n);
    }
    chunkfile::Put32(record.data() + kPresentOffset, chunkfile::Get32(record.data()));
    record.insert(record.end(), words.begin(), words.begin() + 4 * size_t(chunkfile::Get32(record.data())));
    return record;
}

std::vector<uint32_t> RecordCounts(const std::vector<uint8_t>& record)
{
    std::vector<uint32_t> n(kLevels);
    for (int l = 0; l < kLevels; ++l)
        n[size_t(l)] = chunkfile::Get32(record.data() + 4 * l);
    return n;
}

std::vector<uint8_t> MakeChartImage(int width, int height, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> image(size_t(width) * size_t(height));
    const double f1 = 0.004 + (rng() % 100) * 0.00002, f2 = 0.006 + (rng() % 100) * 0.00003;
    const double p1 = (rng() % 1000) * 0.01, p2 = (rng() % 1000) * 0.01;
    // Land and sea from a smooth field (tables: the terms are separable); depth bands at sea.
    std::vector<double> sx(static_cast<size_t>(width)), cy(static_cast<size_t>(height));
    std::vector<double> sxy(static_cast<size_t>(width + height));
    for (int x = 0; x < width; ++x)
        sx[size_t(x)] = std::sin(x * f1 + p1);
    for (int y = 0; y < height; ++y)
        cy[size_t(y)] = std::cos(y * f2 + p2);
    for (size_t i = 0; i < sxy.size(); ++i)
        sxy[i] = std::sin(double(i) * 0.0021);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double v = sx[size_t(x)] + cy[size_t(y)] + sxy[size_t(x + y)];
            uint8_t c;
            if (v > 0.9)
                c = 20 + uint8_t(int((v - 0.9) * 6) % 4); // land shades
            else
                c = 40 + uint8_t(int((0.9 - v) * 3) % 5); // depth bands
            if (x % 256 == 0 || y % 256 == 0)
                c = 2; // grid lines
            image[size_t(y) * size_t(width) + size_t(x)] = c;
        }
    }
    // Scattered soundings: small blocks of detail.
    for (int i = 0; i < width * height / 2000; ++i) {
        const int x = int(rng() % uint32_t(width)), y = int(rng() % uint32_t(height));
        const uint8_t c = uint8_t(60 + rng() % 60);
        for (int dy = 0; dy < 5 && y + dy < height; ++dy)
            for (int dx = 0; dx < 4 && x + dx < width; ++dx)
                if ((rng() & 1) != 0)
                    image[size_t(y + dy) * size_t(width) + size_t(x + dx)] = c;
    }
    return image;
}

void MakeTestPalette(uint32_t palette[128], uint8_t mixing[128 * 128])
{
    for (uint32_t i = 0; i < 128; ++i)
        palette[i] = ((i * 37u) & 0xFF) << 16 | ((i * 91u + 40) & 0xFF) << 8 | ((i * 53u + 7) & 0xFF);
    palette[0] = 0x000000;
    palette[1] = 0xFFFFFF;
    chartwriter::MixingTableByAverage(palette, mixing);
}

CChunkedChart::CChunkedChart(uint32_t w, uint32_t h, std::vector<uint8_t> img)
    : widthTiles(w), heightTiles(h), image(std::move(img))
{
    MakeTestPalette(palette, mixing);
    image.resize(size_t(PixelWidth()) * size_t(PixelHeight()), 1);
}

std::vector<uint8_t> CChunkedChart::StoredChunk(uint32_t column, uint32_t row) const
{
    std::vector<uint8_t> stored(kChunkPixels, 1);
    for (int s = 0; s < kChunkSide; ++s) {
        const int64_t y = int64_t(row) * kChunkSide + BitReverse10(s);
        if (y >= PixelHeight())
            continue;
        const int64_t x0 = int64_t(column) * kChunkSide;
        const int64_t n = std::min<int64_t>(kChunkSide, PixelWidth() - x0);
        if (n > 0)
            std::memcpy(stored.data() + size_t(s) * kChunkSide,
                        image.data() + size_t(y) * size_t(PixelWidth()) + size_t(x0), size_t(n));
    }
    return stored;
}

const std::vector<uint8_t>& CChunkedChart::Record(uint32_t column, uint32_t row) const
{
    const uint32_t key = row << 16 | column;
    auto it = m_records.find(key);
    if (it == m_records.end())
        it = m_records.emplace(key, BuildChunkRecord(StoredChunk(column, row).data())).first;
    return it->second;
}

chartwriter::CChartWriter CChunkedChart::MakeWriter(bool chunked) const
{
    chartwriter::CChartWriter w(widthTiles, heightTiles);
    w.kind = chunked ? kind : 0;
    w.name = "Chunk Test Chart";
    chartwriter::PlateCarreeCoefficients(10, 55, 12, 54, PixelWidth(), PixelHeight(), w.forward, w.inverse);
    std::memcpy(w.palette, palette, sizeof palette);
    std::memcpy(w.mixing, mixing, sizeof mixing);
    if (chunked) {
        w.chunkAddress = chunkAddress;
        return w;
    }
    std::vector<uint8_t> tile(kTilePixels);
    for (uint32_t ty = 0; ty < heightTiles; ++ty)
        for (uint32_t tx = 0; tx < widthTiles; ++tx) {
            for (int r = 0; r < 64; ++r)
                std::memcpy(tile.data() + 64 * r,
                            image.data() + (size_t(ty) * 64 + size_t(r)) * size_t(PixelWidth()) +
                                size_t(tx) * 64,
                            64);
            w.SetTile(tx, ty, tile.data());
        }
    return w;
}

bool CChunkedChart::WriteChartFile(const std::string& path) const
{
    return MakeWriter(true).Write(path);
}

bool CChunkedChart::WriteSingleFileChart(const std::string& path) const
{
    return MakeWriter(false).Write(path);
}

CSparseFile CChunkedChart::BuildServerStore(const CServerStoreOptions& options) const
{
    CSparseFile f;
    const uint32_t cols = options.columns.value_or(Columns()), rows = options.rows.value_or(Rows());
    f.Put32(0, kMagic);
    f.Put32(kColumnsOffset, cols);
    f.Put32(kRowsOffset, rows);
    const uint64_t indexEnd = kIndexOffset + 8 * uint64_t(cols) * rows;
    f.Put(kIndexOffset, std::vector<uint8_t>(size_t(indexEnd - kIndexOffset), 0));
    uint64_t at = options.firstRecordAt ? options.firstRecordAt : indexEnd;
    serverPositions.clear();
    for (uint32_t r = 0; r < std::min(rows, Rows()); ++r) {
        for (uint32_t c = 0; c < std::min(cols, Columns()); ++c) {
            const uint32_t key = r << 16 | c;
            const uint64_t entryAt = kIndexOffset + 8 * (uint64_t(r) * cols + c);
            if (options.missingChunks.count(key))
                continue;
            if (options.emptyChunks.count(key)) {
                f.Put64(entryAt, kEmptyEntry);
                continue;
            }
            const std::vector<uint8_t>& rec = Record(c, r);
            f.Put(at, rec);
            if (options.failingChunks.count(key))
                f.failing.emplace_back(at, at + rec.size());
            f.Put64(entryAt, int64_t(at));
            serverPositions[key] = at;
            at += (rec.size() + 7) / 8 * 8 + options.gap;
        }
    }
    return f;
}

bool CChunkedChart::WriteLocalStore(const std::string& path, bool folder, uint64_t firstRecordAt,
                                    const std::set<uint32_t>& chunks, int level) const
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    const std::string part0 = folder ? path + "/0" : path;
    if (folder)
        std::filesystem::create_directories(path, ec);
    auto writeAt = [](const std::string& file, uint64_t offset, const void* data, size_t length) {
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool ok = ::pwrite(fd, data, length, off_t(offset)) == ssize_t(length);
        ::close(fd);
        return ok;
    };
    uint8_t header[kHeaderSize] = {};
    chunkfile::Put32(header, kMagic);
    chunkfile::Put32(header + kColumnsOffset, Columns());
    chunkfile::Put32(header + kRowsOffset, Rows());
    std::vector<uint8_t> index(8 * size_t(Columns()) * Rows(), 0);
    uint64_t at = firstRecordAt ? firstRecordAt : kIndexOffset + index.size();
    for (uint32_t r = 0; r < Rows(); ++r) {
        for (uint32_t c = 0; c < Columns(); ++c) {
            const uint32_t key = r << 16 | c;
            if (!chunks.empty() && !chunks.count(key))
                continue;
            std::vector<uint8_t> rec = Record(c, r);
            if (level >= 0)
                chunkfile::Put32(rec.data() + kPresentOffset, chunkfile::Get32(rec.data() + 4 * level));
            // A record never crosses a part's 4 GB limit.
            if (folder && (at & 0xFFFFFFFFu) + rec.size() > (uint64_t(1) << 32))
                at = ((at >> 32) + 1) << 32;
            const std::string file = folder ? path + "/" + std::to_string(at >> 32) : path;
            const uint64_t offset = folder ? (at & 0xFFFFFFFFu) : at;
            if (!writeAt(file, offset, rec.data(), rec.size()))
                return false;
            chunkfile::Put64(index.data() + 8 * (size_t(r) * Columns() + c), int64_t(at));
            at += (rec.size() + 7) / 8 * 8;
        }
    }
    return writeAt(part0, kIndexOffset, index.data(), index.size()) &&
           writeAt(part0, 0, header, sizeof header);
}

tessatest::LoopbackResponse AnswerChunkFileRead(const CSparseFile& file, uint64_t base, uint64_t size,
                                                const tessatest::LoopbackRequest& request)
{
    tessatest::LoopbackResponse response;
    uint64_t first = 0, last = size ? size - 1 : 0;
    const std::string range = request.Header("range");
    if (range.rfind("bytes=", 0) == 0) {
        const size_t dash = range.find('-');
        first = std::strtoull(range.c_str() + 6, nullptr, 10);
        if (dash != std::string::npos && dash + 1 < range.size())
            last = std::min(last, uint64_t(std::strtoull(range.c_str() + dash + 1, nullptr, 10)));
        if (first > last || first >= size) {
            response.status = 416;
            return response;
        }
        response.status = 206;
        response.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                           std::to_string(last) + "/" + std::to_string(size));
    }
    for (const auto& [from, to] : file.failing)
        if (base + first < to && from <= base + last) {
            tessatest::LoopbackResponse failed;
            failed.status = 500;
            failed.body = "chunk chosen to fail";
            return failed;
        }
    const std::vector<uint8_t> bytes = file.Slice(base + first, last - first + 1);
    response.body.assign(bytes.begin(), bytes.end());
    return response;
}

void ServeChunkFile(tessatest::LoopbackServer& server, const std::string& path,
                    std::shared_ptr<const CSparseFile> file)
{
    constexpr uint64_t kPart = uint64_t(1) << 31;
    auto failAt = [&](const std::string& name, uint64_t base, uint64_t size) {
        if (!file->failing.empty())
            server.AddHandler("GET", name, [file, base, size](const tessatest::LoopbackRequest& request) {
                return AnswerChunkFileRead(*file, base, size, request);
            });
    };
    if (file->size <= kPart && file->size <= (uint64_t(64) << 20)) {
        const std::vector<uint8_t> bytes = file->Slice(0, file->size);
        server.AddFile(path, std::string(bytes.begin(), bytes.end()));
        failAt(path, 0, file->size);
        return;
    }
    for (uint64_t part = 0; part * kPart < file->size; ++part) {
        const uint64_t base = part * kPart;
        const uint64_t size = std::min(kPart, file->size - base);
        const std::string name = part ? path + "." + std::to_string(part) : path;
        server.AddVirtualFile(name, size,
                              [file, base](uint64_t offset) { return file->ByteAt(base + offset); });
        failAt(name, base, size);
    }
}

std::set<uint32_t> FetchedChunks(const std::vector<tessatest::LoopbackRequest>& requests,
                                 const std::string& path, const CChunkedChart& chart)
{
    std::set<uint32_t> fetched;
    for (const tessatest::LoopbackRequest& request : requests) {
        const std::string range = request.Header("range");
        if (request.method != "GET" || request.path != path || range.rfind("bytes=", 0) != 0)
            continue;
        const uint64_t first = std::strtoull(range.c_str() + 6, nullptr, 10);
        for (const auto& [key, at] : chart.serverPositions)
            if (at <= first && first < at + chart.Record(key & 0xFFFF, key >> 16).size())
                fetched.insert(key);
    }
    return fetched;
}

void ServeRedirect(tessatest::LoopbackServer& server, const std::string& chunkPath, const std::string& text)
{
    server.AddFile(chunkPath + ".slredir.txt", text);
}

void MapChunkHostToLoopback(const std::string& host, int port)
{
    SetChunkHostMapForTesting([host, port](const std::string& asked, std::string& address, int& p) {
        address = "127.0.0.1";
        p = port;
        return asked == host;
    });
}

bool MakeSparseFile(const std::string& path, uint64_t size)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, off_t(size)) == 0;
    ::close(fd);
    return ok;
}

} // namespace chunkwriter
