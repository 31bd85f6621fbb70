#include "charts/mapstore/MapStore.h"

#include "charts/chartlist/ChartList.h"

#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebBinaryCGI.h"

#include <algorithm>
#include <cmath>

namespace {

MapStoreHideSource g_hideSource;

} // namespace

bool MapShopData::IsPackage() const
{
    return PathHasExtension(path, "tspkg");
}

bool CMapShopListing::Before(const MapShopData& a, const MapShopData& b) const
{
    if (m_sortBy == 0)
        return a.name < b.name; // std::string compares bytes as unsigned
    return a.scale < b.scale;
}

void CMapShopListing::Add(MapShopData record)
{
    auto item = std::make_shared<MapShopData>(std::move(record));
    // After every record it does not sort before: equal ones keep reply order.
    auto at = std::upper_bound(m_records.begin(), m_records.end(), item,
                               [this](const std::shared_ptr<MapShopData>& x,
                                      const std::shared_ptr<MapShopData>& y) { return Before(*x, *y); });
    m_records.insert(at, std::move(item));
}

void CMapShopListing::Clear()
{
    m_records.clear();
    held.clear();
    trailing = 0;
    success = false;
}

void CMapShopListing::Resort(int32_t sortBy)
{
    m_sortBy = sortBy;
    std::stable_sort(m_records.begin(), m_records.end(),
                     [this](const std::shared_ptr<MapShopData>& x, const std::shared_ptr<MapShopData>& y) {
                         return Before(*x, *y);
                     });
}

bool MapStorePointsValid(const std::vector<MapStorePoint>& points)
{
    for (const MapStorePoint& p : points) {
        // Written so that NaN fails too.
        if (!(p.first >= -90.0 && p.first <= 90.0 && p.second >= -400.0 && p.second <= 400.0))
            return false;
    }
    return true;
}

void WriteMapStorePointsRequest(CTypeSerializer& out, const std::vector<MapStorePoint>& points,
                                const std::set<uint32_t>& held)
{
    uint32_t opcode = 101, version = kMapStoreVersion;
    uint32_t count = static_cast<uint32_t>(points.size());
    out.Exchange(opcode);
    out.Exchange(version);
    out.Exchange(count);
    if (count == 0) {
        uint32_t n = static_cast<uint32_t>(held.size());
        out.Exchange(n);
        for (uint32_t product : held)
            out.Exchange(product);
    }
    for (MapStorePoint p : points) {
        out.Exchange(p.first);
        out.Exchange(p.second);
    }
}

void WriteMapStorePlaceRequest(CTypeSerializer& out, double latitude, double longitude)
{
    uint32_t opcode = 102, version = kMapStoreVersion;
    out.Exchange(opcode);
    out.Exchange(version);
    out.Exchange(latitude);
    out.Exchange(longitude);
}

bool ReadMapStoreReply(CTypeSerializer& in, bool withHeld, const std::set<std::string>& hide,
                       CMapShopListing& listing)
{
    listing.Clear();
    auto fail = [&listing](const char* why) {
        listing.Clear();
        listing.error = why;
        return false;
    };
    uint32_t status = 1;
    if (!in.Exchange(status))
        return fail("The map store sent no answer.");
    if (status != 0)
        return fail("The map store refused the request.");
    if (withHeld) {
        uint32_t count = 0;
        if (!in.Exchange(count))
            return fail("The map store's answer is incomplete.");
        // One value at a time: a huge count allocates nothing that was not sent.
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t product = 0;
            if (!in.Exchange(product))
                return fail("The map store's answer is incomplete.");
            listing.held.insert(product);
        }
        listing.held.insert(0);
    }
    uint32_t records = 0;
    if (!in.Exchange(records))
        return fail("The map store's answer is incomplete.");
    for (uint32_t i = 0; i < records; ++i) {
        MapShopData record;
        if (!in.ReadString(record.name) || !in.Exchange(record.scale) || !in.ReadString(record.mapType) ||
            !in.ReadString(record.path) || !in.Exchange(record.product))
            return fail("The map store's answer is incomplete.");
        if (!std::isfinite(record.scale))
            continue;
        bool hidden = false;
        for (const std::string& h : hide)
            if (!h.empty() && record.name.find(h) != std::string::npos)
                hidden = true;
        if (!hidden)
            listing.Add(std::move(record));
    }
    if (!in.Exchange(listing.trailing))
        return fail("The map store's answer is incomplete.");
    listing.success = true;
    listing.error.clear();
    return true;
}

void SetMapStoreHideSource(MapStoreHideSource source)
{
    g_hideSource = std::move(source);
}

std::set<std::string> GetMapStoreHiddenNames()
{
    return g_hideSource ? g_hideSource() : std::set<std::string>();
}

int32_t GetMapStoreSortBy()
{
    return CChartOutline::CSortedPointer::SortBy();
}

namespace {

CMapShopListing Ask(bool withHeld, const std::function<void(CTypeSerializer&)>& write,
                    CWebServer::Callback progress, void* progressArg)
{
    CMapShopListing listing(GetMapStoreSortBy());
    CWebAddress server = CChartServer::Get();
    CWebBinaryCGI request(server.host.c_str(), kMapStoreProgram, server.secure, server.port);
    if (progress)
        request.Web().SetProgressCallback(progress, progressArg);
    write(request);
    if (!request.Execute()) {
        listing.error = request.Web().GetErrorText();
        if (listing.error.empty())
            listing.error = "The map store could not be reached.";
        return listing;
    }
    ReadMapStoreReply(request.Reply(), withHeld, GetMapStoreHiddenNames(), listing);
    return listing;
}

} // namespace

CMapShopListing QueryMapStore(const std::vector<MapStorePoint>& points, CWebServer::Callback progress,
                              void* progressArg, const std::set<uint32_t>& held)
{
    if (!MapStorePointsValid(points)) {
        CMapShopListing listing(GetMapStoreSortBy());
        listing.error = "A position out of range cannot be asked for.";
        return listing;
    }
    return Ask(
        true, [&](CTypeSerializer& out) { WriteMapStorePointsRequest(out, points, held); }, progress,
        progressArg);
}

CMapShopListing QueryMapStoreAt(double latitude, double longitude, CWebServer::Callback progress,
                                void* progressArg)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude)) {
        CMapShopListing listing(GetMapStoreSortBy());
        listing.error = "A position out of range cannot be asked for.";
        return listing;
    }
    return Ask(
        false, [&](CTypeSerializer& out) { WriteMapStorePlaceRequest(out, latitude, longitude); }, progress,
        progressArg);
}

MapStorePoint MapStoreOfferPoint(double latitude, double longitude)
{
    if (!(latitude >= -90.0 && latitude <= 90.0) || !(longitude >= -400.0 && longitude <= 400.0))
        return {51.5, 0.0};
    return {latitude, longitude};
}

std::string ChooseMapToOffer(const CMapShopListing& listing)
{
    double best = 1e10;
    std::string path;
    for (const auto& record : listing.Records()) {
        if (record->product != 0 || record->scale < kMapStoreFinestOffered)
            continue;
        if (record->scale < best) {
            best = record->scale;
            path = record->path;
        }
    }
    return path;
}

std::string FindMapStoreMapAt(double latitude, double longitude)
{
    CMapShopListing listing = QueryMapStore({MapStoreOfferPoint(latitude, longitude)});
    return ChooseMapToOffer(listing);
}

std::string MapShopTreePath(const MapShopData& record)
{
    std::string path = record.mapType + "|";
    if (record.IsPackage())
        path += "Packages|";
    path += record.name;
    if (record.mapType.find("20") != std::string::npos || record.mapType.find("Old") != std::string::npos)
        path = "Old Editions|" + path;
    return path;
}

void MakeMapShopTree(const CMapShopListing& listing, bool heldOnly, CMapShopTree& out)
{
    for (const auto& record : listing.Records()) {
        if (heldOnly && listing.held.count(record->product) == 0)
            continue;
        out.Add(MapShopTreePath(*record), record);
    }
}

void ResortMapShopList(CMapShopListing& listing)
{
    listing.Resort(GetMapStoreSortBy());
}

template <> bool CMapTreeNode<MapShopData>::StandsForType(std::string& type) const
{
    if (m_item) {
        type = m_item->mapType;
        return true;
    }
    if (m_parent && m_parent->m_parent == nullptr && m_label != "Old Editions") {
        type = m_label; // a type group
        return true;
    }
    return false;
}

// Made here for callers that see only MapStore.h.
template void CMapTreeNode<MapShopData>::StoreSelectedTypes();

int ExpandMatchingMapShop(CMapShopTree& tree, const std::string& text)
{
    std::string needle = text;
    StringToLower(needle);
    int matched = 0;
    tree.ForEach([&](CMapShopTree& node) {
        if (!node.Item())
            return;
        std::string name = node.Item()->name;
        StringToLower(name);
        if (needle.empty() || name.find(needle) == std::string::npos)
            return;
        ++matched;
        node.ExpandWithAncestors();
    });
    return matched;
}
