#pragma once
// The summary of one chart file, read from its header without opening the
// chart: name, map type, scale, bounds, outline and edition. The chart list
// keeps one per chart file on the machine.
#include "foundation/util/Files.h"
#include "geodesy/Polygon.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where header bytes come from: an open file (plain reads, no mapping) or a
// buffer. Reads outside the bytes that exist fail.
class IChartHeaderSource
{
public:
    virtual ~IChartHeaderSource() = default;
    virtual uint64_t Size() const = 0;
    // Exactly `length` bytes at `offset`, or false.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) const = 0;
    // The zero-terminated ISO 8859-1 string at a string offset, as UTF-8
    // (at most 1,023 bytes); "" for offset 0 or a failed read.
    virtual std::string StringAt(uint32_t offset) const = 0;
};

class CChartFileSource : public IChartHeaderSource
{
public:
    explicit CChartFileSource(const std::string& path);
    ~CChartFileSource() override;
    CChartFileSource(const CChartFileSource&) = delete;
    CChartFileSource& operator=(const CChartFileSource&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) const override;
    std::string StringAt(uint32_t offset) const override;
    // Device, inode, size and modification time of the open file.
    const CFileId& Id() const { return m_id; }
    int64_t ModificationTimeNs() const { return m_mtimeNs; }

private:
    int m_fd = -1;
    uint64_t m_size = 0;
    CFileId m_id;
    int64_t m_mtimeNs = 0;
};

class CChartBufferSource : public IChartHeaderSource
{
public:
    CChartBufferSource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t length) const override;
    std::string StringAt(uint32_t offset) const override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

// The edition number of an edition or revision text: "03/12/2019" gives
// 20190312 (c*10000 + a*100 + b); other texts of 6 or more characters give
// the number of all their digits, shorter ones too. Saturates at 0xFFFFFFFF.
uint32_t EditionNumber(const std::string& text);

class CChartOutline
{
public:
    // More outline points than this make a header refused: no chart needs them
    // and they would only cost memory.
    static constexpr uint32_t kMaxOutlinePoints = 1u << 20;

    // Reads a chart file's header. Null when the file is not a chart this
    // system can list (too short, failed magic, version or kind test, offsets
    // or counts outside the file, a scale that is 0 or not finite, positions
    // that are not finite).
    static std::shared_ptr<CChartOutline> FromFile(const std::string& path);
    // The same on bytes in memory (the path only names it).
    static std::shared_ptr<CChartOutline> FromSource(const IChartHeaderSource& source,
                                                     const std::string& path);

    // Inside the bounds (inclusive) and inside the outline polygon. The
    // outline is read from the file on first use.
    bool Contains(double latitude, double longitude) const;
    // The text of the chart detail dialog.
    std::string GetInfoText() const;

    // The outline as (longitude, latitude) points; read on first use. Empty
    // when the file can no longer be read.
    const CPolygon& Outline() const;

    double scale = 0; // nautical miles per pixel at the image centre
    std::string name; // header name, or the path when empty
    std::string path;
    std::string mapType; // extension block's map type
    uint32_t productNumber = 0;
    uint32_t edition = 0;
    bool chunked = false; // pixels live in a companion chunk store
    bool secondFlag = false;
    uint32_t flags = 0;
    double minLat = 0, maxLat = 0, minLon = 0, maxLon = 0;

    // The file's identity and state when it was read: the same file reached
    // under two paths is one chart, and an unchanged file need not be read again.
    CFileId fileId;
    uint64_t fileSize = 0;
    int64_t modificationTimeNs = 0;

    // What re-reading the outline needs.
    uint32_t outlineCount = 0;
    uint32_t outlineOffset = 0;
    double centreLon = 0;
    double latShift = 0, lonShift = 0;

    // The outline points from a source (wrapped and shifted as in the scan);
    // false when they cannot all be read or are not finite.
    bool ReadOutline(const IChartHeaderSource& source, CPolygon& out) const;
    // The detail text from a source; `path` decides the folder kind.
    static std::string InfoText(const IChartHeaderSource& source, const std::string& path);

    // The chart list window's orders.
    class CSortedPointer
    {
    public:
        enum : int32_t { kByName = 0, kByScale = 1, kByDistance = 2 };
        // The stored choice ("sort_by", default by scale).
        static int32_t SortBy();
        static void SetSortBy(int32_t sortBy);
        // Builds the settings object, so that loading the settings finds it.
        static void MakeSettings();
        // Sorts by the given choice; distance is measured from the reference
        // point (a reference of 0, 0 sorts by scale). Other choices leave the
        // order as it is.
        static void Sort(std::vector<std::shared_ptr<CChartOutline>>& outlines, int32_t sortBy, double refLat,
                         double refLon);
    };

private:
    mutable CPolygon m_outline;
    mutable bool m_outlineTried = false;
};
