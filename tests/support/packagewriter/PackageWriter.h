#pragma once
// Writing map packages and map-store replies for tests.
#include "foundation/objectfile/TypeSerializer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessatest {
class LoopbackServer;

// A typed stream that collects what is written, in memory.
class CTypeMemoryOut : public CTypeSerializer
{
public:
    CTypeMemoryOut() : CTypeSerializer(kModeWrite) {}
    bool Write(const void* bytes, size_t size) override;
    bool Read(void*, size_t) override
    {
        SetGood(false);
        return false;
    }
    const std::string& Bytes() const { return m_bytes; }

    void U32(uint32_t v) { Exchange(v); }
    void U64(uint64_t v) { Exchange(v); }
    void F32(float v) { Exchange(v); }
    void F64(double v) { Exchange(v); }
    void Str(const std::string& s) { WriteString(s); }

private:
    std::string m_bytes;
};

struct PackageFile
{
    std::string name;  // relative path in the package
    std::string bytes; // the server's copy
};

// One manifest entry as written, for broken manifests.
struct ManifestEntry
{
    std::string name;
    uint64_t size = 0;
    std::vector<uint32_t> checks;
};

// The check value of every megabyte block of `bytes`.
std::vector<uint32_t> BlockChecks(const std::string& bytes);

class CPackageWriter
{
public:
    std::string host = "127.0.0.1"; // may carry ":port"
    std::string folder = "/packages/test";
    std::string name = "Test Package";
    std::vector<PackageFile> files;
    // Broken manifests: when set, these replace the entries made from files.
    std::vector<ManifestEntry> rawEntries;
    bool useRawEntries = false;
    int64_t totalOverride = -1;   // the total field, when >= 0
    int64_t countOverride = -1;   // the count field, when >= 0
    size_t truncateTo = SIZE_MAX; // cut the manifest to this many bytes

    std::string Manifest() const;
    bool Write(const std::string& path) const;
    // Puts every file on the server under folder + "/" + name.
    void Serve(LoopbackServer& server) const;
};

// A small valid chart (two by two tiles) called `name` over the given box.
std::string MakeSmallChart(const std::string& name, double west, double north, double east, double south,
                           const std::string& mapType = "Topo", uint8_t colourIndex = 3);

// Writes a file, creating nothing else; false on any error.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// A map-store reply: status, the held product numbers (opcode 101 only), the
// records and a trailing value.
struct MapStoreRecord
{
    std::string name;
    float scale = 0;
    std::string mapType;
    std::string path;
    uint32_t product = 0;
};
std::string MapStoreReply(uint32_t status, const std::vector<uint32_t>* held,
                          const std::vector<MapStoreRecord>& records, uint32_t trailing = 0);

} // namespace tessatest
