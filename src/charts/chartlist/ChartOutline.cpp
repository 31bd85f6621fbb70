#include "charts/chartlist/ChartOutline.h"

#include "charts/ChartFormat.h"
#include "charts/PolynomialProjection.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace chartfile;

CChartFileSource::CChartFileSource(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = uint64_t(st.st_size);
    m_id.device = uint64_t(st.st_dev);
    m_id.inode = uint64_t(st.st_ino);
    m_mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

CChartFileSource::~CChartFileSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CChartFileSource::ReadAt(uint64_t offset, void* buffer, size_t length) const
{
    if (m_fd < 0 || !SpanInside(offset, length, m_size))
        return false;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::pread(m_fd, out + done, length - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

std::string CChartFileSource::StringAt(uint32_t offset) const
{
    std::string out;
    if (m_fd >= 0 && offset != 0 && offset < m_size) {
        uint8_t bytes[kMaxStringBytes];
        size_t length = size_t(std::min<uint64_t>(kMaxStringBytes, m_size - offset));
        ssize_t n;
        do {
            n = ::pread(m_fd, bytes, length, off_t(offset));
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            const uint8_t* end = static_cast<const uint8_t*>(std::memchr(bytes, 0, size_t(n)));
            out = Latin1ToUtf8(bytes, end ? size_t(end - bytes) : size_t(n));
        }
    }
    return out;
}

bool CChartBufferSource::ReadAt(uint64_t offset, void* buffer, size_t length) const
{
    if (!SpanInside(offset, length, m_size))
        return false;
    std::memcpy(buffer, m_data + offset, length);
    return true;
}

std::string CChartBufferSource::StringAt(uint32_t offset) const
{
    return chartfile::StringAt(m_data, m_size, offset);
}

namespace {

constexpr uint64_t kSaturated = 0xFFFFFFFFu;

uint64_t AppendDigit(uint64_t value, char c)
{
    value = value * 10 + uint64_t(c - '0');
    return std::min(value, kSaturated + 1); // stays far below overflow
}

uint32_t AllDigits(const std::string& text)
{
    uint64_t value = 0;
    for (char c : text)
        if (c >= '0' && c <= '9')
            value = AppendDigit(value, c);
    return uint32_t(std::min(value, kSaturated));
}

// The leading decimal number of each '/'-separated part.
uint64_t LeadingNumber(const std::string& text, size_t& pos)
{
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    uint64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        value = AppendDigit(value, text[pos++]);
    while (pos < text.size() && text[pos] != '/')
        ++pos;
    if (pos < text.size())
        ++pos; // the '/'
    return value;
}

bool Finite(double v)
{
    return std::isfinite(v);
}

double WrapNear(double lon, double centre)
{
    double d = lon - centre;
    if (d * d > 32400.0)
        lon += d < 0 ? 360.0 : -360.0;
    return lon;
}

struct HeaderView
{
    uint8_t bytes[kHeaderSize];
    uint32_t Word(int w) const { return Le32(bytes + 4 * w); }
};

// The coefficient blocks as doubles in host order.
void ReadCoefficients(const HeaderView& h, double block[40])
{
    for (int i = 0; i < 40; ++i)
        block[i] = LeDouble(h.bytes + kCoefficientOffset + 8 * size_t(i));
}

// Outline points in pieces, so that no count read from the file decides an
// allocation. Each point goes to `point` (latitude, longitude) after wrapping
// and shifting; false on a read failure or a point that is not finite.
template <class F>
bool ForEachOutlinePoint(const IChartHeaderSource& source, uint32_t offset, uint32_t count, double centreLon,
                         double latShift, double lonShift, F&& point)
{
    if (count > CChartOutline::kMaxOutlinePoints || !SpanInside(offset, uint64_t(count) * 16, source.Size()))
        return false;
    uint8_t buffer[16 * 256];
    uint32_t done = 0;
    while (done < count) {
        uint32_t n = std::min<uint32_t>(256, count - done);
        if (!source.ReadAt(uint64_t(offset) + uint64_t(done) * 16, buffer, size_t(n) * 16))
            return false;
        for (uint32_t i = 0; i < n; ++i) {
            double lat = LeDouble(buffer + 16 * i);
            double lon = LeDouble(buffer + 16 * i + 8);
            if (!Finite(lat) || !Finite(lon))
                return false;
            lon = WrapNear(lon, centreLon) + lonShift;
            lat += latShift;
            point(lat, lon);
        }
        done += n;
    }
    return true;
}

} // namespace

uint32_t EditionNumber(const std::string& text)
{
    if (text.size() >= 6 && (text[1] == '/' || text[2] == '/')) {
        size_t pos = 0;
        uint64_t a = LeadingNumber(text, pos);
        uint64_t b = LeadingNumber(text, pos);
        uint64_t c = LeadingNumber(text, pos);
        uint64_t value = c * 10000 + a * 100 + b; // each part is capped far below overflow
        return uint32_t(std::min(value, kSaturated));
    }
    return AllDigits(text);
}

std::shared_ptr<CChartOutline> CChartOutline::FromFile(const std::string& path)
{
    CChartFileSource source(path);
    if (!source.IsOpen())
        return nullptr;
    auto outline = FromSource(source, path);
    if (outline) {
        outline->fileId = source.Id();
        outline->modificationTimeNs = source.ModificationTimeNs();
    }
    return outline;
}

std::shared_ptr<CChartOutline> CChartOutline::FromSource(const IChartHeaderSource& source,
                                                         const std::string& path)
{
    const uint64_t size = source.Size();
    if (size < kMinFileSize)
        return nullptr;
    HeaderView h;
    if (!source.ReadAt(0, h.bytes, kHeaderSize))
        return nullptr;
    const uint32_t word1 = h.Word(kWordVersion);
    if (!MagicOK(h.Word(kWordMagic)) || !VersionOK(word1))
        return nullptr;
    const uint8_t kind = KindOf(word1);
    const bool chunked = kind == kKindChunked || kind == kKindChunkedAlt;
    if (kind != kKindSingleFile && !chunked)
        return nullptr;
    const uint32_t width = h.Word(kWordWidth), height = h.Word(kWordHeight);
    if (width < 1 || height < 1 || width > kMaxTiles || height > kMaxTiles)
        return nullptr;
    if (h.Word(kWordName) >= size || h.Word(kWordOutlineOffset) >= size)
        return nullptr;

    uint32_t ext[8] = {};
    const uint32_t extOffset = h.Word(kWordExtension);
    if (extOffset != 0) {
        uint8_t raw[kExtensionSize];
        if (!source.ReadAt(extOffset, raw, kExtensionSize))
            return nullptr;
        for (int i = 0; i < 8; ++i)
            ext[i] = Le32(raw + 4 * i);
        if (ext[kExtMapType] >= size || ext[kExtDatumShift] >= size)
            return nullptr;
    }

    if (!chunked) {
        uint8_t last[4];
        const uint64_t lastEntry = kTileTableOffset - 4 + 4 * uint64_t(width) * height;
        if (!source.ReadAt(lastEntry, last, 4) || Le32(last) >= size)
            return nullptr;
    }

    auto outline = std::make_shared<CChartOutline>();
    CChartOutline& o = *outline;
    o.path = path;
    o.fileSize = size;
    o.chunked = chunked;
    o.flags = h.Word(kWordFlags);
    o.name = source.StringAt(h.Word(kWordName));
    if (o.name.empty())
        o.name = path;
    if (extOffset != 0)
        o.mapType = source.StringAt(ext[kExtMapType]);

    double block[40];
    ReadCoefficients(h, block);
    const double cx = 32.0 * width, cy = 32.0 * height;
    o.scale = PolynomialScaleAt(block, cx, cy);
    // A scale of 0 or one that is not a number cannot be ordered or compared.
    if (!Finite(o.scale) || o.scale <= 0)
        return nullptr;
    double centreLat = 0;
    PolynomialPixelToLatLon(block, cx, cy, centreLat, o.centreLon);
    if (!Finite(o.centreLon))
        return nullptr;

    if (ext[kExtDatumShift] != 0) {
        uint8_t shift[16];
        if (!source.ReadAt(ext[kExtDatumShift], shift, 16))
            return nullptr;
        o.latShift = LeDouble(shift);
        o.lonShift = LeDouble(shift + 8);
        if (!Finite(o.latShift) || !Finite(o.lonShift))
            return nullptr;
    }

    o.minLat = o.minLon = 1e300;
    o.maxLat = o.maxLon = -1e300;
    auto extend = [&o](double lat, double lon) {
        o.minLat = std::min(o.minLat, lat);
        o.maxLat = std::max(o.maxLat, lat);
        o.minLon = std::min(o.minLon, lon);
        o.maxLon = std::max(o.maxLon, lon);
    };
    o.outlineCount = h.Word(kWordOutlineCount);
    o.outlineOffset = h.Word(kWordOutlineOffset);
    if (o.outlineCount < 1) {
        // The image rectangle is the outline.
        const double corners[4][2] = {
            {0, 0}, {64.0 * width, 0}, {64.0 * width, 64.0 * height}, {0, 64.0 * height}};
        for (const auto& c : corners) {
            double lat, lon;
            PolynomialPixelToLatLon(block, c[0], c[1], lat, lon);
            if (!Finite(lat) || !Finite(lon))
                return nullptr;
            extend(lat, lon);
            o.m_outline.Add(lon, lat);
        }
        o.m_outlineTried = true;
    } else if (!ForEachOutlinePoint(source, o.outlineOffset, o.outlineCount, o.centreLon, o.latShift,
                                    o.lonShift, extend)) {
        return nullptr;
    }

    if ((word1 & 0xFFFFFFu) >= 4 && ext[kExtProduct] != 0) {
        uint8_t product[40];
        if (source.ReadAt(ext[kExtProduct], product, sizeof product)) {
            o.productNumber = Le32(product);
            o.secondFlag = Le32(product + 20) >= 2;
        }
    }

    std::string revision = source.StringAt(h.Word(kWordRevision));
    if (revision.size() >= 6 && revision[revision.size() - 5] == '/')
        o.edition = EditionNumber(revision);
    else
        o.edition = EditionNumber(source.StringAt(h.Word(kWordEdition)));
    return outline;
}

bool CChartOutline::ReadOutline(const IChartHeaderSource& source, CPolygon& out) const
{
    out.Clear();
    return ForEachOutlinePoint(source, outlineOffset, outlineCount, centreLon, latShift, lonShift,
                               [&out](double lat, double lon) { out.Add(lon, lat); });
}

const CPolygon& CChartOutline::Outline() const
{
    if (!m_outlineTried) {
        m_outlineTried = true;
        CChartFileSource source(path);
        // A file that changed since the scan is not trusted for its outline.
        if (!source.IsOpen() || source.Size() != fileSize || !ReadOutline(source, m_outline))
            m_outline.Clear();
    }
    return m_outline;
}

bool CChartOutline::Contains(double latitude, double longitude) const
{
    if (!Finite(latitude) || !Finite(longitude))
        return false;
    if (latitude < minLat || latitude > maxLat)
        return false;
    // Outlines across the date line run past +-180 degrees.
    for (double lon : {longitude, longitude + 360.0, longitude - 360.0}) {
        if (lon < minLon || lon > maxLon)
            continue;
        const CPolygon& polygon = Outline();
        if (polygon.Size() >= 3 && polygon.Contains(lon, latitude))
            return true;
    }
    return false;
}

std::string CChartOutline::GetInfoText() const
{
    CChartFileSource source(path);
    if (!source.IsOpen())
        return "Can't open file";
    return InfoText(source, path);
}

std::string CChartOutline::InfoText(const IChartHeaderSource& source, const std::string& path)
{
    HeaderView h;
    if (!source.ReadAt(0, h.bytes, kHeaderSize) || !MagicOK(h.Word(kWordMagic)))
        return "Not a rlt file";
    static const struct
    {
        int word;
        const char* label;
    } fields[] = {{kWordScale, "Scale"},    {kWordIdentifier, "ID"}, {kWordEdition, "Ed"},
                  {kWordRevision, "Rev"},   {kWordRights, "(C)"},    {kWordDepths, "Depths"},
                  {kWordHeights, "Heights"}};
    std::string text;
    for (const auto& f : fields) {
        std::string value = source.StringAt(h.Word(f.word));
        if (value.empty())
            continue;
        if (!text.empty())
            text += ". ";
        text += f.label;
        text += ": ";
        text += value;
    }
    text += ". Folder:";
    if (IsInAppBundle(path))
        text += "Built-in.";
    else if (path.find("/MVT/") != std::string::npos)
        text += "Download.";
    else
        text += "Shared.";
    return text;
}

namespace {

class SortedPointerSettings : public PersistantData
{
public:
    SortedPointerSettings() : PersistantData("CChartOutline::CSortedPointer") {}
    void Exchange() override
    {
        uint32_t value = uint32_t(sortBy);
        ExchangeHex("sort_by", value);
        sortBy = int32_t(value);
    }
    int32_t sortBy = CChartOutline::CSortedPointer::kByScale;
};

SortedPointerSettings& SortSettings()
{
    static SortedPointerSettings settings;
    return settings;
}

double CentreDistanceSquared(const CChartOutline& o, double lat, double lon)
{
    double dLat = (o.minLat + o.maxLat) / 2 - lat;
    double dLon = ((o.minLon + o.maxLon) / 2 - lon) * std::cos(lat * M_PI / 180.0);
    return dLat * dLat + dLon * dLon;
}

} // namespace

int32_t CChartOutline::CSortedPointer::SortBy()
{
    return SortSettings().sortBy;
}

void CChartOutline::CSortedPointer::MakeSettings()
{
    SortSettings();
}

void CChartOutline::CSortedPointer::SetSortBy(int32_t sortBy)
{
    if (SortSettings().sortBy != sortBy) {
        SortSettings().sortBy = sortBy;
        SortSettings().SetModified();
    }
}

void CChartOutline::CSortedPointer::Sort(std::vector<std::shared_ptr<CChartOutline>>& outlines,
                                         int32_t sortBy, double refLat, double refLon)
{
    auto byScale = [](const std::shared_ptr<CChartOutline>& a, const std::shared_ptr<CChartOutline>& b) {
        return a->scale < b->scale;
    };
    switch (sortBy) {
    case kByName:
        std::stable_sort(outlines.begin(), outlines.end(),
                         [](const auto& a, const auto& b) { return a->name < b->name; });
        break;
    case kByScale:
        std::stable_sort(outlines.begin(), outlines.end(), byScale);
        break;
    case kByDistance: {
        if (refLat == 0 && refLon == 0) {
            std::stable_sort(outlines.begin(), outlines.end(), byScale);
            break;
        }
        // Containment and distance are worked out once, not in every comparison.
        struct Key
        {
            bool inside;
            double distance;
            double scale;
            std::shared_ptr<CChartOutline> outline;
        };
        std::vector<Key> keys;
        keys.reserve(outlines.size());
        for (auto& o : outlines)
            keys.push_back(
                {o->Contains(refLat, refLon), CentreDistanceSquared(*o, refLat, refLon), o->scale, o});
        std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
            if (a.inside != b.inside)
                return a.inside;
            if (a.inside)
                return a.scale < b.scale;
            return a.distance < b.distance;
        });
        for (size_t i = 0; i < keys.size(); ++i)
            outlines[i] = std::move(keys[i].outline);
        break;
    }
    default:
        break;
    }
}
