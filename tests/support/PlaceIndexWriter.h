#pragma once
// Builds place-name index bytes for tests and benchmarks: the header, leading
// blocks and records, each led by its length.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tessatest {

struct PlaceEntry
{
    std::string name;
    double latitude = 0;
    double longitude = 0;
    uint32_t kind = 0;
};

inline void PutU32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(char(v >> (8 * i) & 0xff));
}

inline void PutF64(std::string& out, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out.push_back(char(bits >> (8 * i) & 0xff));
}

inline std::string PlaceRecord(const PlaceEntry& e)
{
    std::string r;
    PutU32(r, uint32_t(24 + e.name.size() + 1));
    PutU32(r, e.kind);
    PutF64(r, e.latitude);
    PutF64(r, e.longitude);
    r += e.name;
    r.push_back('\0');
    return r;
}

// `blocks` leading blocks of 8 bytes each, then the records.
inline std::string PlaceIndex(const std::vector<PlaceEntry>& entries, uint32_t version = 1,
                              int32_t blocks = 1)
{
    std::string out;
    PutU32(out, 0x6187FEB2);
    PutU32(out, version);
    PutU32(out, uint32_t(blocks));
    PutU32(out, 0);
    for (int32_t b = 0; b < blocks; ++b) {
        PutU32(out, 8);
        PutU32(out, uint32_t(b));
    }
    for (const PlaceEntry& e : entries)
        out += PlaceRecord(e);
    return out;
}

} // namespace tessatest
