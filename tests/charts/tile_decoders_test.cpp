#include "charts/TileDecoders.h"
#include "chartwriter/ChartWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace chartwriter;

namespace {

// A tile of `colours` distinct indices with runs, as real charts have them.
std::vector<uint8_t> RandomTile(std::mt19937& rng, int colours, int maxRun)
{
    std::vector<uint8_t> palette(128);
    for (int i = 0; i < 128; ++i)
        palette[size_t(i)] = uint8_t(i);
    std::shuffle(palette.begin(), palette.end(), rng);
    std::vector<uint8_t> tile(kTilePixels);
    for (int i = 0; i < kTilePixels;) {
        const uint8_t c = palette[rng() % unsigned(colours)];
        const int run = 1 + int(rng() % unsigned(maxRun));
        for (int j = 0; j < run && i < kTilePixels; ++j)
            tile[size_t(i++)] = c;
    }
    return tile;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& bytes, int level, bool* ok = nullptr)
{
    std::vector<uint8_t> out(kTilePixels, 0xEE);
    const bool good = DecodeTileBytes(bytes.data(), bytes.size(), out.data(), kTileSide >> level);
    if (ok)
        *ok = good;
    return out;
}

// The first 64 >> level stored rows of an image-order tile.
std::vector<uint8_t> Expected(const std::vector<uint8_t>& image, int level)
{
    std::vector<uint8_t> stored(kTilePixels, 0xEE);
    ToStoredOrder(image.data(), stored.data());
    std::fill(stored.begin() + (kTilePixels >> level), stored.end(), 0xEE);
    return stored;
}

bool AllEqual(const std::vector<uint8_t>& v, size_t count, uint8_t value)
{
    for (size_t i = 0; i < count; ++i)
        if (v[i] != value)
            return false;
    return true;
}

} // namespace

TEST(TileRows, BitReversalIsItsOwnInverseAndOrdersLevels)
{
    EXPECT_EQ(BitReverse6(1), 32);
    EXPECT_EQ(BitReverse6(2), 16);
    EXPECT_EQ(BitReverse6(3), 48);
    for (int s = 0; s < 64; ++s)
        EXPECT_EQ(BitReverse6(BitReverse6(s)), s);
    for (int s = 0; s < 1024; ++s)
        EXPECT_EQ(BitReverse10(BitReverse10(s)), s);
    // The first 64 >> L stored rows are exactly the rows that are multiples of 2^L.
    for (int level = 0; level <= kMaxTileLevel; ++level)
        for (int s = 0; s < (64 >> level); ++s)
            EXPECT_EQ(BitReverse6(s) % (1 << level), 0);
}

TEST(TileDecoders, EveryKindRoundTripsAtEveryLevel)
{
    std::mt19937 rng(7);
    for (TileKind kind : {TileKind::Huffman, TileKind::RunLength, TileKind::Packed}) {
        for (int colours : {1, 2, 3, 5, 9, 17, 33, 64, 65, 127}) {
            for (int maxRun : {1, 4, 40}) {
                const auto image = RandomTile(rng, colours, maxRun);
                const auto bytes = EncodeTile(image.data(), kind);
                ASSERT_FALSE(bytes.empty());
                for (int level = 0; level <= kMaxTileLevel; ++level) {
                    bool ok = false;
                    auto out = Decode(bytes, level, &ok);
                    ASSERT_TRUE(ok) << "kind " << int(kind) << " colours " << colours << " level " << level;
                    ASSERT_EQ(out, Expected(image, level))
                        << "kind " << int(kind) << " colours " << colours << " level " << level;
                }
            }
        }
    }
    // Huffman alone carries all 128 colours.
    std::vector<uint8_t> all(kTilePixels);
    for (int i = 0; i < kTilePixels; ++i)
        all[size_t(i)] = uint8_t((i * 37) & 127);
    EXPECT_TRUE(EncodePackedTile(all.data()).empty());
    EXPECT_EQ(Decode(EncodeHuffmanTile(all.data()), 0), Expected(all, 0));
}

TEST(TileDecoders, SpecialFormsOfEachKind)
{
    // A Huffman root that is a leaf fills the tile and needs no bits.
    EXPECT_TRUE(AllEqual(Decode({0x00, 0x2A}, 0), kTilePixels, 0x2A));

    // A 0-side subtree longer than 127 bytes takes the 16-bit length form
    // (here a leaf followed by bytes no path reaches).
    std::vector<uint8_t> longForm{0x00, 0x80, 0x7E, 0xFF, 9};
    longForm.resize(longForm.size() + 129, 0x77);
    longForm.push_back(12);
    longForm.resize(longForm.size() + 512, 0xAA); // bits 0, 1, 0, 1, ...
    auto out = Decode(longForm, 0);
    for (int i = 0; i < kTilePixels; ++i)
        ASSERT_EQ(out[size_t(i)], i % 2 ? 12 : 9) << i;

    // Packed with one colour: nothing follows the colour list.
    EXPECT_TRUE(AllEqual(Decode({0xFF, 0x33}, 0), kTilePixels, 0x33));
    // Five colours take 3 bits: 10 pixels per word, 410 words for 4096 pixels.
    std::mt19937 rng(3);
    auto five = RandomTile(rng, 5, 3);
    auto packed = EncodePackedTile(five.data());
    EXPECT_EQ(packed.size(), 1u + 5u + 4u * 410u);
    packed.pop_back(); // one byte short of the last word: unreadable
    bool ok = true;
    EXPECT_TRUE(AllEqual(Decode(packed, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);

    // Run-length with one colour: every byte is a run of that colour.
    std::vector<uint8_t> rle{0x01, 0x05};
    for (int i = 0; i < 16; ++i)
        rle.push_back(0); // zero runs draw nothing
    for (int i = 0; i < 16; ++i)
        rle.push_back(0xFF);
    rle.push_back(16); // cut at the pixel count
    out = Decode(rle, 0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(AllEqual(out, kTilePixels, 5));
    // Level 6 decodes only the 64 pixels of image row 0.
    out = Decode({0x01, 0x07, 0x40}, 6, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(AllEqual(out, 64, 7));
    EXPECT_EQ(out[64], 0xEE);
}

TEST(TileDecoders, CorruptTilesBecomeIndexZeroWithoutReadingOutside)
{
    bool ok = true;
    std::mt19937 rng(11);
    const auto image = RandomTile(rng, 40, 3);
    const auto huff = EncodeHuffmanTile(image.data());

    // Every truncation of a valid tile: no read past the end (ASan checks), and a
    // tile that needed the missing bytes is all index 0.
    for (size_t n = 0; n < huff.size(); n += 7) {
        std::vector<uint8_t> cut(huff.begin(), huff.begin() + long(n));
        auto out = Decode(cut, 0, &ok);
        EXPECT_FALSE(ok) << n;
        EXPECT_TRUE(AllEqual(out, kTilePixels, 0)) << n;
    }
    // Run-length data that runs out before the tile is full.
    EXPECT_TRUE(AllEqual(Decode({0x03, 1, 2, 3, 0xFF}, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);
    // A run of only zero-length runs must end at the data's end, not loop.
    std::vector<uint8_t> zeros{0x02, 1, 2};
    zeros.resize(5000, 0x00);
    EXPECT_TRUE(AllEqual(Decode(zeros, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);
    // Kind byte 0x80 has no meaning.
    EXPECT_TRUE(AllEqual(Decode({0x80, 1, 2, 3}, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);

    // Long-form branch pointing backwards (v >= 0): the tree walk would loop.
    std::vector<uint8_t> back{0x00, 0x80, 0x00, 0x00, 0x05};
    back.resize(600, 0xFF);
    EXPECT_TRUE(AllEqual(Decode(back, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);
    // 128 nested branches: deeper than any code of 128 colours.
    std::vector<uint8_t> deep{0x00};
    for (int i = 0; i < 128; ++i)
        deep.push_back(0xFF);
    deep.push_back(0x01);
    deep.push_back(0x02);
    deep.resize(deep.size() + 600, 0xFF);
    EXPECT_TRUE(AllEqual(Decode(deep, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);
    // A 1-child beyond the data.
    EXPECT_TRUE(AllEqual(Decode({0x00, 0x81, 0x01}, 0, &ok), kTilePixels, 0));
    EXPECT_FALSE(ok);
}

TEST(TileDecoders, OutOfRangeColoursBecomeIndexZeroAndNeverExceed127)
{
    bool ok = false;
    // Colour-list bytes of 128 or more are masked to 7 bits.
    auto out = Decode({0xFF, 0xC5}, 0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(AllEqual(out, kTilePixels, 0x45));
    // Three colours take 2 bits; the value 3 has no colour and stands for index 0.
    std::vector<uint8_t> packed{0xFD, 10, 11, 0x8C};
    for (int i = 0; i < 256; ++i) {
        for (uint8_t b : {0xE4, 0xE4, 0xE4, 0xE4}) // values 0,1,2,3 per byte
            packed.push_back(b);
    }
    out = Decode(packed, 0, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 11);
    EXPECT_EQ(out[2], 0x0C);
    EXPECT_EQ(out[3], 0);
    // Run-length: sub-palette slot 3 of a three-colour list.
    out = Decode({0x03, 1, 2, 3, uint8_t(0xFC | 3), 0x04}, 6, &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(AllEqual(out, 63, 0));
    EXPECT_EQ(out[63], 1);
}

TEST(ChunkStream, RoundTripsEveryLevelAndLongRuns)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> chunk(1024 * 1024);
    for (size_t i = 0; i < chunk.size();) {
        const uint8_t c = uint8_t(rng() % 20);
        const size_t run = 1 + rng() % 300;
        for (size_t j = 0; j < run && i < chunk.size(); ++j)
            chunk[i++] = c;
    }
    const auto words = EncodeChunkStream(chunk.data(), uint32_t(chunk.size()));
    ASSERT_EQ(words.size() % 4, 0u);
    const uint32_t wordCount = uint32_t(words.size() / 4);
    for (int level = 0; level <= 9; ++level) {
        const uint32_t count = 1024u * (1024u >> level);
        std::vector<uint8_t> out(count);
        auto end = DecodeChunkStream(words.data(), wordCount, out.data(), count);
        ASSERT_TRUE(end) << level;
        EXPECT_LE(*end, wordCount);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), chunk.begin())) << level;
    }

    // One leaf of run class 3 with the extra bits 0xFF: a run of 277 pixels.
    const uint8_t run277[] = {2, 0, 0, 0, 0x05, 0x03, 0, 0, 0xFF, 0, 0, 0};
    std::vector<uint8_t> out(300, 0xEE);
    auto end = DecodeChunkStream(run277, 3, out.data(), 277);
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, 3u);
    EXPECT_TRUE(AllEqual(out, 277, 5));
    EXPECT_EQ(out[277], 0xEE);
}

TEST(ChunkStream, RefusesBrokenStreams)
{
    std::vector<uint8_t> out(4096);
    const uint8_t ok[] = {2, 0, 0, 0, 0x05, 0x00, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(DecodeChunkStream(ok, 3, out.data(), 100));
    EXPECT_FALSE(DecodeChunkStream(nullptr, 3, out.data(), 100));
    EXPECT_FALSE(DecodeChunkStream(ok, 3, nullptr, 100));
    EXPECT_FALSE(DecodeChunkStream(ok, 0, out.data(), 100));
    EXPECT_FALSE(DecodeChunkStream(ok, 3, out.data(), 0));
    EXPECT_FALSE(DecodeChunkStream(ok, 3, out.data(), 10000001));
    // The bit stream start must be below the word count and at least 2.
    const uint8_t start3[] = {3, 0, 0, 0, 0x05, 0x00, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(DecodeChunkStream(start3, 3, out.data(), 100));
    const uint8_t start1[] = {1, 0, 0, 0, 0x05, 0x00, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(DecodeChunkStream(start1, 3, out.data(), 100));
    // A branch whose 1-child lies past the node table.
    const uint8_t branch[] = {2, 0, 0, 0, 0xF0, 0xFF, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(DecodeChunkStream(branch, 3, out.data(), 100));
    // Runs of two pixels need two bits each: 32 bits give at most 16 runs.
    const uint8_t shortStream[] = {2, 0, 0, 0, 0x05, 0x01, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(DecodeChunkStream(shortStream, 3, out.data(), 32));
    EXPECT_FALSE(DecodeChunkStream(shortStream, 3, out.data(), 33));
}
