#pragma once
// An open raster chart: one image of 64 x 64 pixel tiles, 7-bit palette
// indices, georeferenced by polynomials. `CRasterleaf` holds what every chart
// kind shares (the mapped file, header fields, palette, mixing table,
// georeference, the pixel renderer); each kind supplies `GetTile`.
//
// The whole file is mapped read-only once when the chart opens, so every
// thread reads tiles and strings from the one mapping without locking, and
// every offset read from the file is checked against its size.
#include "charts/ChartFormat.h"
#include "charts/TileDecoders.h"
#include "foundation/platform/DialogParent.h"
#include "geodesy/Polygon.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The context record of a rendering work block. Chunked charts use it to ask
// for coarser chunks to be decoded finer; single-file charts ignore it.
struct CTileContext
{
    // (argument, chunk store, chunk row, chunk column, decoded level, wanted level) -> taken
    bool (*request)(void* argument, void* store, int row, int column, int decodedLevel,
                    int wantedLevel) = nullptr;
    void* argument = nullptr;
    void* square = nullptr;
    int largestShortfall = 0;
};

struct CChunkDownloadOutcome;

// What a rendering thread passes to `CRasterleaf::GetPixels`.
struct CTileWorkBlock
{
    CTileContext context;
    uint8_t tile[kTilePixels];
};

class CRasterleaf
{
public:
    virtual ~CRasterleaf();
    CRasterleaf(const CRasterleaf&) = delete;
    CRasterleaf& operator=(const CRasterleaf&) = delete;

    // Opens the chart file at `path` by its first eight bytes; null when it is
    // not a chart this system can show (why is reported with `owner` through
    // ShowChartProblem, for every failure after the magic test).
    static CRasterleaf* OpenFile(QWidget* owner, const std::string& path);

    // 0 on success, -1 on failure (the chart is then closed).
    int Open(QWidget* owner, const std::string& path);
    void Close();
    bool IsOpen() const { return m_base != nullptr; }

    // The byte at a file offset, or null outside the file.
    const uint8_t* MapOffset(uint64_t offset) const;
    // `length` bytes at a file offset, or null unless all of them exist.
    const uint8_t* MapSpan(uint64_t offset, uint64_t length) const;
    uint64_t FileSize() const { return m_size; }
    void ReadString(uint32_t offset, std::string& out) const;

    virtual void InvalidateTile(uint32_t) {}
    virtual void ClearTileCache() {}
    virtual bool IsDownloadable() const { return false; }
    // Fills `buffer` with 64 * (64 >> level) palette indices of tile (x, y) in
    // stored row order; non-zero means the caller abandons its drawing.
    virtual int GetTile(int x, int y, int level, uint8_t* buffer, CTileContext* context) = 0;
    virtual bool OpenChunkFile() { return true; }

    // Downloads of a chunked chart's pixels for use without a network (the
    // other kinds hold all their pixels and download nothing: false). Points
    // are chart pixels. `total` gets the number of chunks that qualify,
    // `progress` counts those handed out; `proceed` (null: always) is asked
    // before each chunk and each request. True only when every qualifying
    // chunk was fetched; `outcome` tells failures, a stop and why nothing started.
    using DownloadProceed = bool (*)(void* argument);
    virtual bool DownloadPolygon(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                                 std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                                 CChunkDownloadOutcome* outcome = nullptr);
    // Along the route within `corridorMetres` on either side.
    virtual bool DownloadRoute(const std::vector<CPolyPoint>& points, std::atomic<int64_t>* total,
                               std::atomic<int64_t>* progress, DownloadProceed proceed, void* argument,
                               double corridorMetres, CChunkDownloadOutcome* outcome = nullptr);
    // Every chunk of the chart.
    virtual bool DownloadAll(std::atomic<int64_t>* total, std::atomic<int64_t>* progress,
                             DownloadProceed proceed, void* argument,
                             CChunkDownloadOutcome* outcome = nullptr);
    // From the chunk after `chunk` (row * columns + column; -1 to begin), the
    // next run of complete chunks in one row: its square inset by 50 pixels as
    // (longitude, latitude) corners top-left, top-right, bottom-right,
    // bottom-left; `chunk` becomes the run's last chunk and `flags` 1. At the
    // end `chunk` becomes -1 and the result is false.
    virtual bool NextChunkArea(int& chunk, double corners[8], int& flags);

    static bool DecodeTile(const uint8_t* data, size_t size, uint8_t* out, int rows)
    {
        return DecodeTileBytes(data, size, out, rows);
    }

    // Renders chart pixels from (x, y) into 32-bit pixels, bottom-up (output
    // row 0 is the last row of the buffer). shift 0: one output pixel per
    // chart pixel; s > 0 (up to 6): one per 2^s x 2^s chart pixels, blended
    // through the mixing table; -m (up to 8): 2^m x 2^m output pixels per
    // chart pixel. 0 when done, 1 when GetTile asked to abandon.
    int GetPixels(int x, int y, int width, int height, int stride, int shift, uint32_t* output,
                  CTileWorkBlock* work);

    std::string GetTitle() const;
    std::string GetRightsNotice() const;
    std::string GetMapType() const;
    // Any header string by its word number ("" when unset or not open).
    std::string HeaderString(int word) const;

    void PixelToLatLon(int x, int y, double& lat, double& lon) const;
    void LatLonToPixel(double lat, double lon, double& x, double& y) const;
    bool LatLonToPixelInt(double lat, double lon, int& x, int& y) const;

    // The outline polygon as stored (latitude, longitude in degrees); empty
    // when the chart has none (its outline is the image rectangle). False
    // when the file says it has points that do not lie inside it.
    bool ReadOutline(std::vector<std::pair<double, double>>& points) const;

    const std::string& Path() const { return m_path; }
    int PixelWidth() const { return m_pixelWidth; }
    int PixelHeight() const { return m_pixelHeight; }
    int WidthInTiles() const { return m_pixelWidth / kTileSide; }
    int HeightInTiles() const { return m_pixelHeight / kTileSide; }
    uint32_t HeaderWord(int word) const;
    uint32_t FormatVersion() const { return HeaderWord(chartfile::kWordVersion) & 0xFFFFFF; }
    uint8_t Kind() const { return chartfile::KindOf(HeaderWord(chartfile::kWordVersion)); }
    uint32_t Flags() const { return HeaderWord(chartfile::kWordFlags); }
    const double* ForwardCoefficients() const { return m_coefficients; }
    const double* InverseCoefficients() const { return m_coefficients + 20; }
    // 0x00RRGGBB, the pixel value the renderer writes.
    const uint32_t* Palette() const { return m_palette; }
    // M[128 * a + b]: the index standing for the blend of colours a and b.
    const uint8_t* MixingTable() const { return m_mixing; }
    bool HasDatumShift() const { return m_hasDatumShift; }
    double LatShift() const { return m_latShift; }
    double LonShift() const { return m_lonShift; }
    double CentreLon() const { return m_centreLon; }
    const uint32_t* Extension() const { return m_extension; }
    uint32_t ChunkAddressLength() const { return m_chunkAddress[0]; }
    uint32_t ChunkAddressString() const { return m_chunkAddress[1]; }

protected:
    CRasterleaf() = default;
    // True for the kinds whose pixels live outside the chart file.
    virtual bool IsChunked() const = 0;
    const uint8_t* Base() const { return m_base; }

private:
    std::string m_path;
    int m_pixelWidth = 0;
    int m_pixelHeight = 0;
    uint32_t m_palette[128] = {};
    uint8_t m_mixing[128 * 128] = {};
    double m_coefficients[40] = {};
    bool m_hasDatumShift = false;
    double m_latShift = 0;
    double m_lonShift = 0;
    int m_fd = -1;
    const uint8_t* m_base = nullptr;
    uint64_t m_size = 0;
    uint64_t m_mappedDevice = 0, m_mappedInode = 0; // counted as mapped while m_base is set
    double m_centreLon = 0;
    uint32_t m_extension[8] = {};
    uint32_t m_chunkAddress[2] = {};
};

// The single-file chart: tiles lie in the file behind the tile offset table.
class CRasterleaf1 : public CRasterleaf
{
public:
    CRasterleaf1() = default;
    ~CRasterleaf1() override;
    int GetTile(int x, int y, int level, uint8_t* buffer, CTileContext* context) override;

protected:
    bool IsChunked() const override { return false; }
};
