#pragma once
// Writes chart files: the header with its strings, palette and mixing table,
// georeference polynomials, outline, extension block and tiles of every kind.
// Tests use it to make charts (including broken ones) and the base-map tool
// uses it to make the shipped world chart. It is also the reference encoder
// the decoders are checked against.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace chartwriter {

enum class TileKind { Smallest, Huffman, RunLength, Packed };

// Image row order (row 0 at the top) to the stored, bit-reversed row order.
void ToStoredOrder(const uint8_t* image, uint8_t* stored);

// Tile encoders: `image` holds 64 x 64 palette indices (0-127) in image row
// order; the result starts with the kind byte. RunLength and Packed give an
// empty result for a tile of more than 127 colours.
std::vector<uint8_t> EncodeHuffmanTile(const uint8_t* image);
std::vector<uint8_t> EncodeRunLengthTile(const uint8_t* image);
std::vector<uint8_t> EncodePackedTile(const uint8_t* image);
std::vector<uint8_t> EncodeTile(const uint8_t* image, TileKind kind = TileKind::Smallest);

// A chunk stream (node table, then bit stream) for `count` pixels already in
// stored order, as little-endian words given as bytes.
std::vector<uint8_t> EncodeChunkStream(const uint8_t* stored, uint32_t count);

// Georeference sets (20 forward then 20 inverse coefficients, the header's
// layout). Plate carree is exactly linear; the Mercator set is a least-squares
// cubic fit, so it carries second and third order terms.
void PlateCarreeCoefficients(double west, double north, double east, double south, int pixelWidth,
                             int pixelHeight, double forward[20], double inverse[20]);
void MercatorCoefficients(double west, double north, double east, double south, int pixelWidth,
                          int pixelHeight, double forward[20], double inverse[20]);

// The palette index nearest to the average of colours a and b, for every pair.
void MixingTableByAverage(const uint32_t palette[128], uint8_t mixing[128 * 128]);

class CChartWriter
{
public:
    CChartWriter(uint32_t widthTiles, uint32_t heightTiles);

    // Header fields, written as they stand (broken values included).
    uint32_t magic = 0x1423D5FF;
    uint32_t version = 5;
    uint8_t kind = 0;
    uint32_t widthTiles;
    uint32_t heightTiles;
    uint32_t flags = 0;
    // Strings are written as raw ISO 8859-1 bytes; empty ones are left out.
    std::string name, title2, identifier, edition, revision, rights, scale, depths, heights, mapType;
    double forward[20] = {};
    double inverse[20] = {};
    uint32_t palette[128] = {}; // 0x00RRGGBB
    uint8_t mixing[128 * 128] = {};
    std::vector<std::pair<double, double>> outline;      // (latitude, longitude)
    std::optional<std::pair<double, double>> datumShift; // (latitude, longitude) degrees
    std::optional<std::string> chunkAddress;
    bool writeExtension = true; // false: no extension block even when fields are set

    // A tile in image row order, encoded by `kind`.
    void SetTile(uint32_t tx, uint32_t ty, const uint8_t* image, TileKind kind = TileKind::Smallest);
    // Raw tile bytes (kind byte first) or a raw table entry, for broken files.
    void SetTileBytes(uint32_t tx, uint32_t ty, std::vector<uint8_t> bytes);
    void SetTileOffset(uint32_t tx, uint32_t ty, uint32_t offset);

    std::vector<uint8_t> Build() const;
    bool Write(const std::string& path, std::string* error = nullptr) const;

    // Where the last Build put the header's variable parts (for tests that break them).
    mutable uint32_t extensionOffset = 0;

private:
    std::vector<std::vector<uint8_t>> m_tiles;
    std::vector<std::optional<uint32_t>> m_rawOffsets;
};

} // namespace chartwriter
