#include "charts/Rasterleaf.h"

#include "charts/ChartFileUse.h"
#include "charts/ChartMessages.h"
#include "charts/PolynomialProjection.h"
#include "charts/chunked/Rasterleaf3.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace chartfile;

namespace {

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::string Hex(uint32_t v)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    do {
        s.insert(s.begin(), digits[v & 15]);
        v >>= 4;
    } while (v);
    return s;
}

bool ReadPrefix(const std::string& path, uint8_t* out, size_t n)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got;
    do
        got = ::pread(fd, out, n, 0);
    while (got < 0 && errno == EINTR);
    ::close(fd);
    return got == ssize_t(n);
}

int64_t FloorDiv64(int64_t v)
{
    return v >= 0 ? v / 64 : -((-v + 63) / 64);
}

} // namespace

CRasterleaf::~CRasterleaf()
{
    Close();
}

CRasterleaf1::~CRasterleaf1() = default;

bool CRasterleaf::DownloadPolygon(const std::vector<CPolyPoint>&, std::atomic<int64_t>* total,
                                  std::atomic<int64_t>*, DownloadProceed, void*, CChunkDownloadOutcome*)
{
    if (total)
        total->store(0);
    return false;
}

bool CRasterleaf::DownloadRoute(const std::vector<CPolyPoint>&, std::atomic<int64_t>* total,
                                std::atomic<int64_t>*, DownloadProceed, void*, double, CChunkDownloadOutcome*)
{
    if (total)
        total->store(0);
    return false;
}

bool CRasterleaf::DownloadAll(std::atomic<int64_t>* total, std::atomic<int64_t>*, DownloadProceed, void*,
                              CChunkDownloadOutcome*)
{
    if (total)
        total->store(0);
    return false;
}

bool CRasterleaf::NextChunkArea(int& chunk, double*, int& flags)
{
    chunk = -1;
    flags = 0;
    return false;
}

CRasterleaf* CRasterleaf::OpenFile(QWidget* owner, const std::string& path)
{
    uint8_t head[8];
    if (!ReadPrefix(path, head, sizeof head) || !MagicOK(Le32(head)))
        return nullptr;
    std::unique_ptr<CRasterleaf> chart;
    switch (head[7]) {
    case kKindSingleFile:
        chart = std::make_unique<CRasterleaf1>();
        break;
    case kKindChunked:
    case kKindChunkedAlt:
        chart = std::make_unique<CRasterleaf3>();
        break;
    default:
        return nullptr;
    }
    if (chart->Open(owner, path) != 0)
        return nullptr;
    return chart.release();
}

int CRasterleaf::Open(QWidget* owner, const std::string& path)
{
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    m_path = path;
    const uint64_t size = uint64_t(st.st_size);
    auto fail = [&](const std::string& text) {
        if (!text.empty())
            ShowChartProblem(owner, text);
        Close();
        return -1;
    };
    // Shorter than the header and one tile-table word: nothing to map or read.
    if (size < kMinFileSize)
        return fail("Not a Rasterleaf: " + Quoted(path));
    // A package update rewriting this file in place: not mapped until it ends.
    const CFileId id = FileIdOfDescriptor(fd);
    if (!BeginChartFileMapping(id))
        return fail({});
    void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        EndChartFileMapping(id);
        return fail("Failed to open map: " + Quoted(path) + "\nTry rebooting...");
    }
    m_base = static_cast<const uint8_t*>(map);
    m_mappedDevice = id.device;
    m_mappedInode = id.inode;
    m_size = size;

    const uint32_t word1 = HeaderWord(kWordVersion);
    if (!MagicOK(HeaderWord(kWordMagic)))
        return fail("Not a Rasterleaf: " + Quoted(path));
    if (!VersionOK(word1))
        return fail("To open this map you need a newer version of your software.\n\n" + path +
                    " is version " + Hex(word1) + ".");
    const uint8_t kind = KindOf(word1);
    if (kind == kKindRL2)
        return fail("This RL2 map is not compatible");
    const bool chunked = kind == kKindChunked || kind == kKindChunkedAlt;
    if ((kind != kKindSingleFile && !chunked) || chunked != IsChunked())
        return fail("Not a Rasterleaf: " + Quoted(path));

    // The tile grid must be sane and, for a single-file chart, its whole
    // offset table must lie inside the file.
    const uint64_t w = HeaderWord(kWordWidth), h = HeaderWord(kWordHeight);
    if (w < 1 || h < 1 || w > kMaxTiles || h > kMaxTiles)
        return fail("Not a Rasterleaf: " + Quoted(path));
    if (!chunked && !SpanInside(kTileTableOffset, 4 * w * h, size))
        return fail("Not a Rasterleaf: " + Quoted(path));

    for (int i = 0; i < 40; ++i) {
        m_coefficients[i] = LeDouble(m_base + kCoefficientOffset + 8 * i);
        if (!std::isfinite(m_coefficients[i]))
            return fail("Not a Rasterleaf: " + Quoted(path));
    }
    // Optional blocks out of the file's range count as absent.
    std::memset(m_extension, 0, sizeof m_extension);
    if (const uint8_t* ext = MapSpan(HeaderWord(kWordExtension), kExtensionSize);
        ext && HeaderWord(kWordExtension) != 0)
        for (int i = 0; i < 8; ++i)
            m_extension[i] = Le32(ext + 4 * i);

    m_pixelWidth = int(64 * w);
    m_pixelHeight = int(64 * h);
    m_chunkAddress[0] = m_chunkAddress[1] = 0;
    if (m_extension[kExtChunkAddress]) {
        if (const uint8_t* rec = MapSpan(m_extension[kExtChunkAddress], 8)) {
            const uint32_t length = Le32(rec);
            m_chunkAddress[0] = length;
            if (length >= 8)
                m_chunkAddress[1] = Le32(rec + 4);
        }
    }
    for (int i = 0; i < 128; ++i) {
        const uint8_t* e = m_base + kPaletteOffset + 4 * i;
        m_palette[i] = uint32_t(e[0]) << 16 | uint32_t(e[1]) << 8 | e[2];
    }
    // Blends must stay palette indices whatever the file says.
    for (size_t i = 0; i < sizeof m_mixing; ++i)
        m_mixing[i] = m_base[kMixingOffset + i] & 0x7F;

    if (!chunked && HeaderWord(4456) == 0)
        return fail("This map is a catalog header and has not been completely converted.");

    m_hasDatumShift = false;
    m_latShift = m_lonShift = 0;
    if (m_extension[kExtDatumShift]) {
        if (const uint8_t* d = MapSpan(m_extension[kExtDatumShift], 16)) {
            const double lat = LeDouble(d), lon = LeDouble(d + 8);
            if (std::isfinite(lat) && std::isfinite(lon)) {
                m_latShift = lat;
                m_lonShift = lon;
                m_hasDatumShift = true;
            }
        }
    }
    double lat;
    m_centreLon = 0;
    PixelToLatLon(m_pixelWidth / 2, m_pixelHeight / 2, lat, m_centreLon);
    if (!OpenChunkFile())
        return fail({});
    return 0;
}

void CRasterleaf::Close()
{
    if (m_base) {
        ::munmap(const_cast<uint8_t*>(m_base), size_t(m_size));
        EndChartFileMapping(CFileId{m_mappedDevice, m_mappedInode});
    }
    m_base = nullptr;
    m_size = 0;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_hasDatumShift = false;
    m_latShift = m_lonShift = 0;
}

const uint8_t* CRasterleaf::MapOffset(uint64_t offset) const
{
    return m_base && offset < m_size ? m_base + offset : nullptr;
}

const uint8_t* CRasterleaf::MapSpan(uint64_t offset, uint64_t length) const
{
    return m_base && SpanInside(offset, length, m_size) ? m_base + offset : nullptr;
}

uint32_t CRasterleaf::HeaderWord(int word) const
{
    if (!m_base || word < 0 || uint64_t(word) * 4 + 4 > m_size)
        return 0;
    return Le32(m_base + 4 * size_t(word));
}

void CRasterleaf::ReadString(uint32_t offset, std::string& out) const
{
    out = StringAt(m_base, m_size, offset);
}

std::string CRasterleaf::HeaderString(int word) const
{
    if (!IsOpen())
        return {};
    return StringAt(m_base, m_size, HeaderWord(word));
}

std::string CRasterleaf::GetTitle() const
{
    if (!IsOpen())
        return {};
    std::string title = HeaderString(kWordName);
    if (title.empty())
        title = HeaderString(kWordTitle2);
    if (title.empty())
        title = HeaderString(kWordIdentifier);
    if (title.empty())
        title = m_path;
    const std::string type = GetMapType();
    const bool nautical = type.find("Nautical") != std::string::npos ||
                          type.find("Marine") != std::string::npos || type.find("Hydro") != std::string::npos;
    if (nautical && HeaderWord(kWordDepths) != 0)
        title += ". Soundings in " + HeaderString(kWordDepths);
    return title;
}

std::string CRasterleaf::GetRightsNotice() const
{
    return HeaderString(kWordRights);
}

std::string CRasterleaf::GetMapType() const
{
    if (!IsOpen())
        return {};
    return StringAt(m_base, m_size, m_extension[kExtMapType]);
}

void CRasterleaf::PixelToLatLon(int x, int y, double& lat, double& lon) const
{
    PixelToLatLonCorrected(m_coefficients, m_coefficients + 20, x, y, lat, lon);
    if (m_hasDatumShift) {
        lat += m_latShift;
        lon += m_lonShift;
    }
}

void CRasterleaf::LatLonToPixel(double lat, double lon, double& x, double& y) const
{
    LatLonToPixelWrapped(m_coefficients, lat - m_latShift, lon - m_lonShift, m_centreLon, x, y);
}

bool CRasterleaf::LatLonToPixelInt(double lat, double lon, int& x, int& y) const
{
    double px, py;
    LatLonToPixel(lat, lon, px, py);
    // 4e18 keeps the value far inside int64; beyond int the result would be
    // meaningless, so those are refused too.
    if (!(px * px < 4e18 && py * py < 4e18) || std::fabs(px) >= 2147483648.0 ||
        std::fabs(py) >= 2147483648.0) {
        x = y = -1;
        return false;
    }
    x = int(px);
    y = int(py);
    return true;
}

bool CRasterleaf::ReadOutline(std::vector<std::pair<double, double>>& points) const
{
    points.clear();
    const uint64_t count = HeaderWord(kWordOutlineCount);
    if (count == 0)
        return IsOpen();
    const uint8_t* p = MapSpan(HeaderWord(kWordOutlineOffset), 16 * count);
    if (!p)
        return false;
    points.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i, p += 16) {
        const double lat = LeDouble(p), lon = LeDouble(p + 8);
        if (!std::isfinite(lat) || !std::isfinite(lon)) {
            points.clear();
            return false;
        }
        points.emplace_back(lat, lon);
    }
    return true;
}

int CRasterleaf1::GetTile(int x, int y, int level, uint8_t* buffer, CTileContext*)
{
    if (level < 0 || level > kMaxTileLevel || !buffer || !IsOpen())
        return 1;
    const int rows = kTileSide >> level;
    const size_t count = size_t(rows) * kTileSide;
    const int64_t w = WidthInTiles(), h = HeaderWord(chartfile::kWordHeight);
    if (x < 0 || y < 0 || x >= w || y >= h || HeaderWord(4456) == 0) {
        std::memset(buffer, 1, count);
        return 0;
    }
    const uint64_t tableEnd = kTileTableOffset + 4 * uint64_t(w) * uint64_t(h);
    const uint32_t offset = Le32(Base() + kTileTableOffset + 4 * (uint64_t(y) * uint64_t(w) + uint64_t(x)));
    // A tile cannot start inside the header or the table, nor past the end.
    if (offset < tableEnd || offset >= FileSize()) {
        std::memset(buffer, 0, count);
        return 0;
    }
    const size_t available = size_t(std::min<uint64_t>(FileSize() - offset, kMaxTileBytes));
    DecodeTile(Base() + offset, available, buffer, rows);
    return 0;
}

int CRasterleaf::GetPixels(int x, int y, int width, int height, int stride, int shift, uint32_t* output,
                           CTileWorkBlock* work)
{
    if (!output || !work || width <= 0 || height <= 0 || stride < width || !IsOpen())
        return 0;
    // Beyond these a tile gives no whole output pixel or the blocks grow absurd.
    if (shift > kMaxTileLevel || shift < -8)
        return 0;
    uint8_t* tile = work->tile;
    auto outRow = [&](int64_t r) { return output + size_t(height - 1 - r) * size_t(stride); };

    if (shift <= 0) {
        const int m = -shift;
        const int64_t block = int64_t(1) << m;
        const int64_t areaW = (width + block - 1) >> m, areaH = (height + block - 1) >> m;
        const int64_t x0 = x, y0 = y;
        for (int64_t ty = FloorDiv64(y0); ty <= FloorDiv64(y0 + areaH - 1); ++ty) {
            for (int64_t tx = FloorDiv64(x0); tx <= FloorDiv64(x0 + areaW - 1); ++tx) {
                const bool inRange = tx >= INT32_MIN && tx <= INT32_MAX && ty >= INT32_MIN && ty <= INT32_MAX;
                if (!inRange) {
                    std::memset(tile, 1, kTilePixels);
                } else if (GetTile(int(tx), int(ty), 0, tile, &work->context) != 0) {
                    return 1;
                }
                const int64_t py0 = std::max(y0, ty * 64), py1 = std::min(y0 + areaH, ty * 64 + 64);
                const int64_t px0 = std::max(x0, tx * 64), px1 = std::min(x0 + areaW, tx * 64 + 64);
                for (int64_t py = py0; py < py1; ++py) {
                    const uint8_t* src = tile + 64 * BitReverse6(int(py - ty * 64));
                    const int64_t oy = (py - y0) << m;
                    if (m == 0) {
                        uint32_t* dst = outRow(oy) + (px0 - x0);
                        const uint8_t* s = src + (px0 - tx * 64);
                        for (int64_t i = 0; i < px1 - px0; ++i)
                            dst[i] = m_palette[s[i] & 0x7F];
                        continue;
                    }
                    for (int64_t dy = 0; dy < block && oy + dy < height; ++dy) {
                        uint32_t* dst = outRow(oy + dy);
                        for (int64_t px = px0; px < px1; ++px) {
                            const uint32_t c = m_palette[src[px - tx * 64] & 0x7F];
                            const int64_t ox = (px - x0) << m;
                            const int64_t n = std::min<int64_t>(block, width - ox);
                            for (int64_t i = 0; i < n; ++i)
                                dst[ox + i] = c;
                        }
                    }
                }
            }
        }
        return 0;
    }

    const int s = shift;
    if ((int64_t(height) << s) < 64)
        return 0;
    const int level = s - 1;
    const int half = 1 << level;
    const int64_t areaW = int64_t(width) << s, areaH = int64_t(height) << s;
    const int64_t x0 = x, y0 = y;
    for (int64_t ty = FloorDiv64(y0); ty <= FloorDiv64(y0 + areaH - 1); ++ty) {
        for (int64_t tx = FloorDiv64(x0); tx <= FloorDiv64(x0 + areaW - 1); ++tx) {
            const bool inRange = tx >= INT32_MIN && tx <= INT32_MAX && ty >= INT32_MIN && ty <= INT32_MAX;
            if (!inRange) {
                std::memset(tile, 1, kTilePixels);
            } else if (GetTile(int(tx), int(ty), level, tile, &work->context) != 0) {
                return 1;
            }
            for (int R = 0; R < 64; R += 1 << s) {
                const int64_t cy = ty * 64 + R - y0;
                if (cy < 0 || cy >= areaH)
                    continue;
                uint32_t* dst = outRow(cy >> s);
                const uint8_t* top = tile + 64 * BitReverse6(R);
                const uint8_t* bottom = tile + 64 * BitReverse6(R + half);
                for (int C = 0; C < 64; C += 1 << s) {
                    const int64_t cx = tx * 64 + C - x0;
                    if (cx < 0 || cx >= areaW)
                        continue;
                    const int a = top[C] & 0x7F, b = top[C + half] & 0x7F;
                    const int c = bottom[C] & 0x7F, d = bottom[C + half] & 0x7F;
                    const int mixed = m_mixing[128 * m_mixing[128 * a + d] + m_mixing[128 * c + b]];
                    dst[cx >> s] = m_palette[mixed];
                }
            }
        }
    }
    return 0;
}
