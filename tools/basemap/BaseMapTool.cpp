// Turns an image in plate carree into a single-file chart: a palette of 128
// colours chosen for the image, the mixing table for zoomed-out drawing, and
// every tile in its smallest kind.
//
//   tessa_basemap IMAGE WEST NORTH EAST SOUTH OUTPUT.rlt
#include "charts/TileDecoders.h"
#include "chartwriter/ChartWriter.h"
#include "foundation/NumberText.h"

#include <QCoreApplication>
#include <QImage>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct CColourBin
{
    uint64_t count = 0;
    double r = 0, g = 0, b = 0; // sums
};

struct CBox
{
    std::vector<int> bins; // 15-bit colour keys
    uint64_t count = 0;
};

int Channel(int key, int c)
{
    return (key >> (10 - 5 * c)) & 31;
}

// Median cut over a 5-bit-per-channel histogram, then a few rounds of
// k-means on the bins' mean colours.
std::array<uint32_t, 128> ChoosePalette(const QImage& img)
{
    std::vector<CColourBin> hist(32768);
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            CColourBin& bin = hist[(r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)];
            ++bin.count;
            bin.r += r;
            bin.g += g;
            bin.b += b;
        }
    }
    std::vector<CBox> boxes(1);
    for (int k = 0; k < 32768; ++k)
        if (hist[k].count) {
            boxes[0].bins.push_back(k);
            boxes[0].count += hist[k].count;
        }
    while (boxes.size() < 128) {
        // Split the box with the most pixels that still holds two bins.
        int pick = -1;
        for (size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].bins.size() > 1 && (pick < 0 || boxes[i].count > boxes[size_t(pick)].count))
                pick = int(i);
        if (pick < 0)
            break;
        CBox& box = boxes[size_t(pick)];
        int widest = 0, range = -1;
        for (int c = 0; c < 3; ++c) {
            int lo = 31, hi = 0;
            for (int k : box.bins) {
                lo = std::min(lo, Channel(k, c));
                hi = std::max(hi, Channel(k, c));
            }
            if (hi - lo > range) {
                range = hi - lo;
                widest = c;
            }
        }
        std::sort(box.bins.begin(), box.bins.end(),
                  [&](int a, int b) { return Channel(a, widest) < Channel(b, widest); });
        uint64_t half = 0;
        size_t cut = 0;
        while (cut + 1 < box.bins.size() && half + hist[size_t(box.bins[cut])].count <= box.count / 2)
            half += hist[size_t(box.bins[cut++])].count;
        cut = std::max<size_t>(cut, 1);
        CBox other;
        other.bins.assign(box.bins.begin() + long(cut), box.bins.end());
        box.bins.resize(cut);
        box.count = 0;
        for (int k : box.bins)
            box.count += hist[size_t(k)].count;
        for (int k : other.bins)
            other.count += hist[size_t(k)].count;
        boxes.push_back(std::move(other));
    }
    std::vector<std::array<double, 3>> centres;
    for (const CBox& box : boxes) {
        double r = 0, g = 0, b = 0;
        for (int k : box.bins) {
            r += hist[size_t(k)].r;
            g += hist[size_t(k)].g;
            b += hist[size_t(k)].b;
        }
        centres.push_back({r / double(box.count), g / double(box.count), b / double(box.count)});
    }
    for (int round = 0; round < 6; ++round) {
        std::vector<std::array<double, 4>> sums(centres.size(), {0, 0, 0, 0});
        for (int k = 0; k < 32768; ++k) {
            const CColourBin& bin = hist[size_t(k)];
            if (!bin.count)
                continue;
            const double r = bin.r / double(bin.count), g = bin.g / double(bin.count),
                         b = bin.b / double(bin.count);
            size_t best = 0;
            double bestD = 1e300;
            for (size_t i = 0; i < centres.size(); ++i) {
                const double d = (centres[i][0] - r) * (centres[i][0] - r) +
                                 (centres[i][1] - g) * (centres[i][1] - g) +
                                 (centres[i][2] - b) * (centres[i][2] - b);
                if (d < bestD) {
                    bestD = d;
                    best = i;
                }
            }
            sums[best][0] += bin.r;
            sums[best][1] += bin.g;
            sums[best][2] += bin.b;
            sums[best][3] += double(bin.count);
        }
        for (size_t i = 0; i < centres.size(); ++i)
            if (sums[i][3] > 0)
                centres[i] = {sums[i][0] / sums[i][3], sums[i][1] / sums[i][3], sums[i][2] / sums[i][3]};
    }
    std::array<uint32_t, 128> palette{};
    for (size_t i = 0; i < 128; ++i) {
        const auto& c = centres[std::min(i, centres.size() - 1)];
        palette[i] = uint32_t(std::clamp(int(c[0] + 0.5), 0, 255)) << 16 |
                     uint32_t(std::clamp(int(c[1] + 0.5), 0, 255)) << 8 |
                     uint32_t(std::clamp(int(c[2] + 0.5), 0, 255));
    }
    return palette;
}

// Nearest palette entry, cached per 6-bit-per-channel colour.
class CNearest
{
public:
    explicit CNearest(const std::array<uint32_t, 128>& palette) : m_palette(palette), m_cache(1 << 18, 0xFF)
    {
    }
    uint8_t operator()(QRgb c)
    {
        const int key = (qRed(c) >> 2) << 12 | (qGreen(c) >> 2) << 6 | (qBlue(c) >> 2);
        uint8_t& slot = m_cache[size_t(key)];
        if (slot != 0xFF)
            return slot;
        const int r = (qRed(c) & ~3) + 2, g = (qGreen(c) & ~3) + 2, b = (qBlue(c) & ~3) + 2;
        long bestD = -1;
        for (int i = 0; i < 128; ++i) {
            const long dr = long((m_palette[size_t(i)] >> 16) & 255) - r;
            const long dg = long((m_palette[size_t(i)] >> 8) & 255) - g;
            const long db = long(m_palette[size_t(i)] & 255) - b;
            const long d = dr * dr + dg * dg + db * db;
            if (bestD < 0 || d < bestD) {
                bestD = d;
                slot = uint8_t(i);
            }
        }
        return slot;
    }

private:
    const std::array<uint32_t, 128>& m_palette;
    std::vector<uint8_t> m_cache;
};

int Usage()
{
    std::fprintf(stderr, "usage: tessa_basemap [--name NAME] [--title TITLE] [--type TYPE] [--rights TEXT]\n"
                         "                     IMAGE WEST NORTH EAST SOUTH OUTPUT.rlt\n"
                         "  the image is plate carree; the extent is in degrees\n"
                         "  the type decides when zoom switches to the chart (default \"Basemap\")\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Without options the tool makes the shipped world base map.
    std::string name = "World", title, mapType = "Basemap", rights = "Image: NASA Visible Earth";
    std::vector<char*> args{argv[0]};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        std::string* target = a == "--name"     ? &name
                              : a == "--title"  ? &title
                              : a == "--type"   ? &mapType
                              : a == "--rights" ? &rights
                                                : nullptr;
        if (target) {
            if (i + 1 >= argc)
                return Usage();
            *target = argv[++i];
        } else {
            args.push_back(argv[i]);
        }
    }
    if (args.size() != 7 || name.empty() || mapType.empty())
        return Usage();
    argv = args.data();
    double west, north, east, south;
    if (!ParseDouble(argv[2], west) || !ParseDouble(argv[3], north) || !ParseDouble(argv[4], east) ||
        !ParseDouble(argv[5], south) || !(east > west) || !(north > south) || north > 90 || south < -90) {
        std::fprintf(stderr, "tessa_basemap: the extent must be WEST < EAST and SOUTH < NORTH in degrees\n");
        return Usage();
    }
    QImage image(QString::fromLocal8Bit(argv[1]));
    if (image.isNull()) {
        std::fprintf(stderr, "tessa_basemap: cannot read the image %s\n", argv[1]);
        return 1;
    }
    // Whole tiles: an image of another size is scaled to the nearest multiple of 64.
    const int w = std::max(64, (image.width() + 32) / 64 * 64);
    const int h = std::max(64, (image.height() + 32) / 64 * 64);
    if (w != image.width() || h != image.height())
        image = image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGB32);

    const std::array<uint32_t, 128> palette = ChoosePalette(image);
    chartwriter::CChartWriter writer(uint32_t(w / 64), uint32_t(h / 64));
    std::copy(palette.begin(), palette.end(), writer.palette);
    chartwriter::MixingTableByAverage(writer.palette, writer.mixing);
    chartwriter::PlateCarreeCoefficients(west, north, east, south, w, h, writer.forward, writer.inverse);
    writer.name = name;
    writer.title2 = title;
    writer.mapType = mapType;
    writer.rights = rights;
    writer.version = 5;

    CNearest nearest(palette);
    std::vector<uint8_t> tile(kTilePixels);
    for (int ty = 0; ty < h / 64; ++ty)
        for (int tx = 0; tx < w / 64; ++tx) {
            for (int r = 0; r < 64; ++r) {
                const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(64 * ty + r));
                for (int c = 0; c < 64; ++c)
                    tile[size_t(64 * r + c)] = nearest(line[64 * tx + c]);
            }
            writer.SetTile(uint32_t(tx), uint32_t(ty), tile.data());
        }

    const std::filesystem::path out(argv[6]);
    std::error_code ec;
    if (out.has_parent_path())
        std::filesystem::create_directories(out.parent_path(), ec);
    std::string error;
    if (!writer.Write(out.string(), &error)) {
        std::fprintf(stderr, "tessa_basemap: cannot write %s: %s\n", argv[6], error.c_str());
        return 1;
    }
    return 0;
}
