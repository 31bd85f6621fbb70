#include "chartwriter/ChartWriter.h"

#include "charts/ChartFormat.h"
#include "foundation/AtomicFile.h"

#include <cstring>

namespace chartwriter {
namespace {

void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v)
{
    for (int b = 0; b < 4; ++b)
        f[at + b] = uint8_t(v >> (8 * b));
}
void PutDouble(std::vector<uint8_t>& f, size_t at, double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    Put32(f, at, uint32_t(bits));
    Put32(f, at + 4, uint32_t(bits >> 32));
}
uint32_t Append(std::vector<uint8_t>& f, const void* data, size_t n)
{
    const uint32_t at = uint32_t(f.size());
    const auto* p = static_cast<const uint8_t*>(data);
    f.insert(f.end(), p, p + n);
    return at;
}
uint32_t AppendString(std::vector<uint8_t>& f, const std::string& s)
{
    if (s.empty())
        return 0;
    const uint32_t at = Append(f, s.data(), s.size());
    f.push_back(0);
    return at;
}

} // namespace

CChartWriter::CChartWriter(uint32_t w, uint32_t h)
    : widthTiles(w), heightTiles(h), m_tiles(size_t(w) * h), m_rawOffsets(size_t(w) * h)
{
    for (int i = 0; i < 128; ++i)
        palette[i] = uint32_t(i * 2) << 16 | uint32_t(255 - i * 2) << 8 | uint32_t(i);
    for (int a = 0; a < 128; ++a)
        for (int b = 0; b < 128; ++b)
            mixing[128 * a + b] = uint8_t(a);
}

void CChartWriter::SetTile(uint32_t tx, uint32_t ty, const uint8_t* image, TileKind k)
{
    SetTileBytes(tx, ty, EncodeTile(image, k));
}

void CChartWriter::SetTileBytes(uint32_t tx, uint32_t ty, std::vector<uint8_t> bytes)
{
    if (tx < widthTiles && ty < heightTiles)
        m_tiles[size_t(ty) * widthTiles + tx] = std::move(bytes);
}

void CChartWriter::SetTileOffset(uint32_t tx, uint32_t ty, uint32_t offset)
{
    if (tx < widthTiles && ty < heightTiles)
        m_rawOffsets[size_t(ty) * widthTiles + tx] = offset;
}

std::vector<uint8_t> CChartWriter::Build() const
{
    using namespace chartfile;
    const size_t tiles = m_tiles.size();
    std::vector<uint8_t> f(kTileTableOffset + 4 * tiles, 0);
    Put32(f, 0, magic);
    Put32(f, 4, (uint32_t(kind) << 24) | (version & 0xFFFFFF));
    Put32(f, 8, widthTiles);
    Put32(f, 12, heightTiles);
    Put32(f, 4 * kWordFlags, flags);
    for (int i = 0; i < 20; ++i) {
        PutDouble(f, kCoefficientOffset + 8 * i, forward[i]);
        PutDouble(f, kCoefficientOffset + 160 + 8 * i, inverse[i]);
    }
    for (int i = 0; i < 128; ++i) {
        // Stored blue, green, red, unused: the reader swaps bytes 0 and 2.
        f[kPaletteOffset + 4 * i + 0] = uint8_t(palette[i] >> 16);
        f[kPaletteOffset + 4 * i + 1] = uint8_t(palette[i] >> 8);
        f[kPaletteOffset + 4 * i + 2] = uint8_t(palette[i]);
    }
    std::memcpy(f.data() + kMixingOffset, mixing, sizeof mixing);

    // An unset tile is a one-colour tile of index 0.
    static const std::vector<uint8_t> blank{0xFF, 0x00};
    for (size_t i = 0; i < tiles; ++i) {
        uint32_t at;
        if (m_rawOffsets[i]) {
            at = *m_rawOffsets[i];
        } else {
            const auto& t = m_tiles[i].empty() ? blank : m_tiles[i];
            at = Append(f, t.data(), t.size());
        }
        Put32(f, kTileTableOffset + 4 * i, at);
    }

    Put32(f, 4 * kWordName, AppendString(f, name));
    Put32(f, 4 * kWordTitle2, AppendString(f, title2));
    Put32(f, 4 * kWordIdentifier, AppendString(f, identifier));
    Put32(f, 4 * kWordEdition, AppendString(f, edition));
    Put32(f, 4 * kWordRevision, AppendString(f, revision));
    Put32(f, 4 * kWordRights, AppendString(f, rights));
    Put32(f, 4 * kWordScale, AppendString(f, scale));
    Put32(f, 4 * kWordDepths, AppendString(f, depths));
    Put32(f, 4 * kWordHeights, AppendString(f, heights));

    if (!outline.empty()) {
        const uint32_t at = uint32_t(f.size());
        f.resize(f.size() + 16 * outline.size());
        for (size_t i = 0; i < outline.size(); ++i) {
            PutDouble(f, at + 16 * i, outline[i].first);
            PutDouble(f, at + 16 * i + 8, outline[i].second);
        }
        Put32(f, 4 * kWordOutlineCount, uint32_t(outline.size()));
        Put32(f, 4 * kWordOutlineOffset, at);
    }

    extensionOffset = 0;
    if (writeExtension && (!mapType.empty() || datumShift || chunkAddress)) {
        uint32_t ext[8] = {};
        ext[kExtMapType] = AppendString(f, mapType);
        if (datumShift) {
            ext[kExtDatumShift] = uint32_t(f.size());
            f.resize(f.size() + 16);
            PutDouble(f, ext[kExtDatumShift], datumShift->first);
            PutDouble(f, ext[kExtDatumShift] + 8, datumShift->second);
        }
        if (chunkAddress) {
            const uint32_t str = AppendString(f, *chunkAddress);
            ext[kExtChunkAddress] = uint32_t(f.size());
            f.resize(f.size() + 8);
            Put32(f, ext[kExtChunkAddress], 8);
            Put32(f, ext[kExtChunkAddress] + 4, str);
        }
        extensionOffset = uint32_t(f.size());
        f.resize(f.size() + 32);
        for (int i = 0; i < 8; ++i)
            Put32(f, extensionOffset + 4 * i, ext[i]);
        Put32(f, 4 * kWordExtension, extensionOffset);
    }
    return f;
}

bool CChartWriter::Write(const std::string& path, std::string* error) const
{
    const std::vector<uint8_t> bytes = Build();
    return WriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

} // namespace chartwriter
