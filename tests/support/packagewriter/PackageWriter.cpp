#include "packagewriter/PackageWriter.h"

#include "chartwriter/ChartWriter.h"
#include "loopback/LoopbackServer.h"

#include <cstdio>
#include <cstring>

namespace tessatest {

bool CTypeMemoryOut::Write(const void* bytes, size_t size)
{
    if (size == 0)
        return true;
    m_bytes.append(static_cast<const char*>(bytes), size);
    return true;
}

std::vector<uint32_t> BlockChecks(const std::string& bytes)
{
    std::vector<uint32_t> checks;
    const size_t block = 0x100000;
    for (size_t off = 0; off < bytes.size(); off += block) {
        uint32_t sum = 0;
        size_t end = std::min(bytes.size(), off + block);
        for (size_t i = off; i < end; ++i)
            sum += static_cast<uint8_t>(bytes[i]);
        checks.push_back(sum);
    }
    return checks;
}

std::string CPackageWriter::Manifest() const
{
    std::vector<ManifestEntry> entries = rawEntries;
    if (!useRawEntries) {
        entries.clear();
        for (const PackageFile& f : files)
            entries.push_back({f.name, f.bytes.size(), BlockChecks(f.bytes)});
    }
    uint64_t total = 0;
    for (const ManifestEntry& e : entries)
        total += e.size;
    if (totalOverride >= 0)
        total = static_cast<uint64_t>(totalOverride);
    uint32_t count =
        countOverride >= 0 ? static_cast<uint32_t>(countOverride) : static_cast<uint32_t>(entries.size());

    CTypeMemoryOut out;
    out.ExchangeTag(0x319E8613);
    out.Str(host);
    out.Str(folder);
    out.Str(name);
    out.U64(total);
    out.U32(count);
    for (const ManifestEntry& e : entries) {
        out.Str(e.name);
        out.U64(e.size);
        for (uint32_t c : e.checks)
            out.U32(c);
    }
    std::string bytes = out.Bytes();
    if (truncateTo < bytes.size())
        bytes.resize(truncateTo);
    return bytes;
}

bool CPackageWriter::Write(const std::string& path) const
{
    return WriteWholeFile(path, Manifest());
}

void CPackageWriter::Serve(LoopbackServer& server) const
{
    std::string base = folder;
    if (base.empty() || base.back() != '/')
        base += '/';
    if (base.front() != '/')
        base.insert(base.begin(), '/');
    for (const PackageFile& f : files)
        server.AddFile(base + f.name, f.bytes);
}

std::string MakeSmallChart(const std::string& name, double west, double north, double east, double south,
                           const std::string& mapType, uint8_t colourIndex)
{
    chartwriter::CChartWriter w(2, 2);
    w.name = name;
    w.mapType = mapType;
    w.scale = "50000";
    for (int i = 0; i < 128; ++i)
        w.palette[i] = static_cast<uint32_t>(i * 0x020202);
    chartwriter::MixingTableByAverage(w.palette, w.mixing);
    chartwriter::PlateCarreeCoefficients(west, north, east, south, 2 * 64, 2 * 64, w.forward, w.inverse);
    std::vector<uint8_t> tile(64 * 64, colourIndex);
    for (uint32_t ty = 0; ty < 2; ++ty)
        for (uint32_t tx = 0; tx < 2; ++tx)
            w.SetTile(tx, ty, tile.data());
    std::vector<uint8_t> bytes = w.Build();
    return std::string(bytes.begin(), bytes.end());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

std::string MapStoreReply(uint32_t status, const std::vector<uint32_t>* held,
                          const std::vector<MapStoreRecord>& records, uint32_t trailing)
{
    CTypeMemoryOut out;
    out.U32(status);
    if (held) {
        out.U32(static_cast<uint32_t>(held->size()));
        for (uint32_t h : *held)
            out.U32(h);
    }
    out.U32(static_cast<uint32_t>(records.size()));
    for (const MapStoreRecord& r : records) {
        out.Str(r.name);
        out.F32(r.scale);
        out.Str(r.mapType);
        out.Str(r.path);
        out.U32(r.product);
    }
    out.U32(trailing);
    return out.Bytes();
}

} // namespace tessatest
