#pragma once
// The map store: the chart server's listing of the charts and packages that
// can be downloaded, asked through the server request form for the maps
// covering some points, a place, or the maps the account holds. The reply is
// kept as a listing of MapShopData records; the chart list window shows it as
// a tree, and the chart view asks it for a map to offer where it has none.
#include "charts/chartlist/MapTreeNode.h"
#include "foundation/objectfile/TypeSerializer.h"
#include "foundation/web/WebServer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

struct MapShopData
{
    float scale = 0; // nautical miles per pixel
    std::string name;
    std::string mapType;
    std::string path;     // on the server; a package when it ends in ".tspkg"
    uint32_t product = 0; // 0: belongs to no product

    bool IsPackage() const;
};

// The records in the chart list's order, captured when the listing is made:
// 0 by name byte-wise, anything else by scale ascending. Records that compare
// equal (a current and an old edition of one name) are all kept, in the
// order the server sent them.
class CMapShopListing
{
public:
    explicit CMapShopListing(int32_t sortBy = 1) : m_sortBy(sortBy) {}

    void Add(MapShopData record);
    void Clear();
    // Orders the records again after the chart list's order changed.
    void Resort(int32_t sortBy);

    int32_t SortBy() const { return m_sortBy; }
    const std::vector<std::shared_ptr<MapShopData>>& Records() const { return m_records; }
    size_t Size() const { return m_records.size(); }

    std::set<uint32_t> held; // product numbers the account holds
    uint32_t trailing = 0;   // the reply's last value
    bool success = false;
    std::string error; // why an unsuccessful listing is empty

private:
    bool Before(const MapShopData& a, const MapShopData& b) const;

    int32_t m_sortBy;
    std::vector<std::shared_ptr<MapShopData>> m_records;
};

using CMapShopTree = CMapTreeNode<MapShopData>;

// The server program of the map store.
constexpr const char* kMapStoreProgram = "cgi-bin/mapstore3.cgi";
constexpr uint32_t kMapStoreVersion = 5;

// (latitude, longitude) in degrees.
using MapStorePoint = std::pair<double, double>;

// Whether every point may be asked for: latitude -90..90, longitude -400..400.
bool MapStorePointsValid(const std::vector<MapStorePoint>& points);

// The request bodies: opcode 101 for points (with no point, the held product
// numbers instead), opcode 102 for one place.
void WriteMapStorePointsRequest(CTypeSerializer& out, const std::vector<MapStorePoint>& points,
                                const std::set<uint32_t>& held);
void WriteMapStorePlaceRequest(CTypeSerializer& out, double latitude, double longitude);

// Reads a reply into `listing` (opcode 101 replies carry the held product
// numbers first). Records with a non-finite scale and records whose name
// contains one of the non-empty `hide` texts are dropped. Any failure or a
// non-zero status leaves the listing empty and unsuccessful.
bool ReadMapStoreReply(CTypeSerializer& in, bool withHeld, const std::set<std::string>& hide,
                       CMapShopListing& listing);

// What the chart view hides from the store ("mvt_hide"); the chart view fills
// this at start-up. Without it nothing is hidden.
using MapStoreHideSource = std::function<std::set<std::string>()>;
void SetMapStoreHideSource(MapStoreHideSource source);
std::set<std::string> GetMapStoreHiddenNames();

// The chart list's order for new listings ("sort_by").
int32_t GetMapStoreSortBy();

// Asks the chart server. The progress callback may cancel the request.
CMapShopListing QueryMapStore(const std::vector<MapStorePoint>& points,
                              CWebServer::Callback progress = nullptr, void* progressArg = nullptr,
                              const std::set<uint32_t>& held = {});
CMapShopListing QueryMapStoreAt(double latitude, double longitude, CWebServer::Callback progress = nullptr,
                                void* progressArg = nullptr);

// The map to offer at a place: the finest map of no product whose scale is at
// least 20 metres a pixel; "" when there is none. A place out of range asks
// for (51.5, 0.0) instead.
std::string FindMapStoreMapAt(double latitude, double longitude);
// The choice itself, on a listing already fetched.
std::string ChooseMapToOffer(const CMapShopListing& listing);
constexpr double kMapStoreFinestOffered = 0.01079913606911447; // 20 m in nautical miles
// The point FindMapStoreMapAt asks for.
MapStorePoint MapStoreOfferPoint(double latitude, double longitude);

// The chart list window's tree: map type, "Packages" for packages, then the
// name; old editions (a type holding "20" or "Old") under "Old Editions".
void MakeMapShopTree(const CMapShopListing& listing, bool heldOnly, CMapShopTree& out);
// The label path of one record in that tree.
std::string MapShopTreePath(const MapShopData& record);
void ResortMapShopList(CMapShopListing& listing);

// A record's type, or the type of a group right below the root ("Old
// Editions" stands for none). StoreSelectedTypes (ChartList.h) shows or hides
// them in the chart list.
template <> bool CMapTreeNode<MapShopData>::StandsForType(std::string& type) const;
// Expands the nodes holding records whose name contains `text` (ignoring
// case); returns how many leaves matched.
int ExpandMatchingMapShop(CMapShopTree& tree, const std::string& text);
