#include "overlays/gpx/GpxFile.h"

#include "foundation/NumberText.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/text/CleanText.h"
#include "foundation/util/Files.h"
#include "foundation/util/TextEncoding.h"
#include "foundation/util/Xml.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/model/LineStyle.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "overlays/model/OverlayNames.h"
#include "overlays/model/OverlayRoute.h"
#include "overlays/model/SaveAllData.h"
#include "overlays/model/Syncable.h"
#include "overlays/model/TrackManager.h"
#include "overlays/model/TrackSection.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <new>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

CGPXWriter::CGPXWriter(std::FILE* file) : m_file(file)
{
    m_ok = file && WriteHeader();
}

CGPXWriter::~CGPXWriter()
{
    if (m_file)
        Close();
}

bool CGPXWriter::Open(const std::string& path)
{
    if (m_file)
        return false;
    if (!m_atomic.Open(path)) {
        m_error = m_atomic.Error();
        return false;
    }
    m_file = m_atomic.Stream();
    m_owned = true;
    m_ok = WriteHeader();
    return true;
}

bool CGPXWriter::WriteHeader()
{
    std::string creator = "Tessaroute Linux " + CRasterleafView::GetSettings().appWebsite;
    std::string header = "<gpx version=\"1.1\" \n"
                         "creator=\"" +
                         XmlEscapeAttribute(creator) +
                         "\"\n"
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
                         "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
                         "xmlns:xstyle=\"http://www.topografix.com/GPX/gpx_style/0/2\"\n"
                         "xmlns:xgarmin=\"http://www.garmin.com/xmlschemas/GpxExtensions/v3\"\n"
                         "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                         "http://www.topografix.com/GPX/1/1/gpx.xsd "
                         "http://www.topografix.com/GPX/gpx_style/0/2 "
                         "http://www.topografix.com/GPX/gpx_style/0/2/gpx_style.xsd "
                         "http://www.garmin.com/xmlschemas/GpxExtensions/v3 "
                         "http://www8.garmin.com/xmlschemas/GpxExtensionsv3.xsd\">\n";
    return std::fwrite(header.data(), 1, header.size(), m_file) == header.size();
}

bool CGPXWriter::Close()
{
    if (!m_file)
        return false;
    bool ok = m_ok && std::fputs("</gpx>\n", m_file) >= 0;
    // Buffered errors (a full disk) show only at the flush.
    ok = std::fflush(m_file) == 0 && ok;
    ok = !std::ferror(m_file) && ok;
    m_file = nullptr;
    if (m_owned) {
        if (ok) {
            ok = m_atomic.Commit();
            if (!ok)
                m_error = m_atomic.Error();
        } else {
            m_error = "write error";
            m_atomic.Abort();
        }
        m_owned = false;
    } else if (!ok) {
        m_error = "write error";
    }
    m_ok = ok;
    return ok;
}

std::unique_ptr<CGPXWriter> OpenGPXWriter(const std::string& path)
{
    auto writer = std::make_unique<CGPXWriter>();
    if (!writer->Open(path))
        return nullptr;
    return writer;
}

bool FormatGPXPosition(double latitude, double longitude, std::string& latText, std::string& lonText)
{
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0 ||
        std::fabs(longitude) > 360.0)
        return false;
    double lon = std::fmod(longitude + 180.0, 360.0);
    if (lon < 0)
        lon += 360.0;
    lon -= 180.0;
    // "%.10f" in the C locale; to_chars is that and fast enough for long tracks.
    auto fixed10 = [](double value, std::string& out) {
        char buffer[32];
        auto [end, error] =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
        out.assign(buffer, error == std::errc() ? end : buffer);
    };
    fixed10(latitude, latText);
    fixed10(lon, lonText);
    // 179.99999999996 prints as 180.0000000000, which GPX refuses.
    if (lonText == "180.0000000000")
        lonText = "-180.0000000000";
    if (lonText == "-0.0000000000")
        lonText = "0.0000000000";
    if (latText == "-0.0000000000")
        latText = "0.0000000000";
    return true;
}

std::string MakeGPXLink(const std::string& link)
{
    size_t host_begin = link.find("://");
    size_t host_end = 0;
    if (host_begin != std::string::npos) {
        host_begin += 3;
        host_end = link.find_first_of("/?#", host_begin);
        if (host_end == std::string::npos)
            host_end = link.size();
    }
    auto is_hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    std::string out;
    out.reserve(link.size());
    bool fragment = false;
    for (size_t i = 0; i < link.size(); ++i) {
        char c = link[i];
        bool in_host = host_begin != std::string::npos && i >= host_begin && i < host_end;
        if ((c == '[' || c == ']') && !in_host)
            out += c == '[' ? "%5B" : "%5D";
        else if (c == '%' && !(i + 2 < link.size() && is_hex(link[i + 1]) && is_hex(link[i + 2])))
            out += "%25";
        else if (c == '#' && fragment)
            out += "%23";
        else
            out += c;
        if (c == '#')
            fragment = true;
    }
    return out;
}

bool WriteGPXLineObjectHead(std::FILE* file, const char* element, const CSyncable& object,
                            const std::string& name, const std::string& description,
                            const std::string& category, const CLineStyle& style)
{
    bool ok = std::fprintf(file, "<%s>\n", element) >= 0;
    ok = WriteXmlElement(file, "name", name) && ok;
    if (!description.empty())
        ok = WriteXmlElement(file, "desc", description) && ok;
    if (object.HasSyncId())
        ok = WriteXmlElement(file, "src", object.FormatSyncTag()) && ok;
    if (!category.empty())
        ok = WriteXmlElement(file, "type", category) && ok;
    return WriteGPXLineStyle(file, style) && ok;
}

bool WriteGPXLineStyle(std::FILE* file, const CLineStyle& style)
{
    char colour[8];
    std::snprintf(colour, sizeof colour, "%02x%02x%02x", style.colour.GetRed(), style.colour.GetGreen(),
                  style.colour.GetBlue());
    double red, green, blue, alpha;
    style.colour.GetComponents(red, green, blue, alpha);
    alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 1.0;
    double width = std::isfinite(style.width) ? std::clamp(static_cast<double>(style.width), 0.0, 1e6) : 2.0;
    bool ok = std::fputs("<extensions> <xstyle:line>\n", file) >= 0;
    ok = WriteXmlElement(file, "xstyle:color", std::string(colour)) && ok;
    ok = WriteXmlElement(file, "xstyle:opacity", FormatDouble(alpha, "%0.2f")) && ok;
    ok = WriteXmlElement(file, "xstyle:width", FormatDouble(width, "%0.2f")) && ok;
    ok = WriteXmlElement(file, "xstyle:pattern", std::string(style.GetPatternName())) && ok;
    ok = std::fputs("</xstyle:line></extensions>\n", file) >= 0 && ok;
    return ok;
}

bool WriteGPX(std::FILE* file, COverlayMark& mark)
{
    std::string lat, lon;
    if (!FormatGPXPosition(mark.GetLatitude(), mark.GetLongitude(), lat, lon))
        return true; // a mark without a place has no wpt
    // The id goes into "src", so importing the file updates this mark.
    if (!mark.IsRoutePoint())
        mark.GetSyncId();
    bool ok = std::fprintf(file, "<wpt lat=\"%s\" lon=\"%s\">\n", lat.c_str(), lon.c_str()) > 0;
    ok = WriteGPXPointBody(file, mark) && ok;
    return std::fputs("</wpt>\n", file) >= 0 && ok;
}

bool WriteGPXPointBody(std::FILE* file, const COverlayMark& mark)
{
    bool ok = true;
    if (mark.GetCreated() != 0) {
        std::string time = FormatXmlTime(mark.GetCreated());
        if (!time.empty())
            ok = WriteXmlElement(file, "time", time) && ok;
    }
    ok = WriteXmlElement(file, "name", mark.GetName()) && ok;
    if (!mark.GetDescription().empty())
        ok = WriteXmlElement(file, "desc", mark.GetDescription()) && ok;
    if (mark.HasSyncId())
        ok = WriteXmlElement(file, "src", mark.FormatSyncTag()) && ok;
    if (!mark.GetLink().empty())
        ok = std::fprintf(file, "<link href=\"%s\"></link>\n",
                          XmlEscapeAttribute(MakeGPXLink(mark.GetLink())).c_str()) > 0 &&
             ok;
    ok = WriteXmlElement(file, "sym", mark.GetIcon()) && ok;
    if (!mark.GetCategory().empty())
        ok = WriteXmlElement(file, "type", mark.GetCategory()) && ok;
    const GraphicsColor& fill = mark.GetColour();
    char colour[8];
    std::snprintf(colour, sizeof colour, "%02x%02x%02x", fill.GetRed(), fill.GetGreen(), fill.GetBlue());
    ok = std::fputs("<extensions>\n<xstyle:fill>\n", file) >= 0 && ok;
    ok = WriteXmlElement(file, "xstyle:color", std::string(colour)) && ok;
    ok = std::fputs("</xstyle:fill>\n", file) >= 0 && ok;
    if (mark.GetOuterRadius() > 0) {
        // A negative proximity carries the inner radius of an anchor alarm.
        double proximity = mark.GetInnerRadius() > 0 ? -mark.GetInnerRadius() : mark.GetOuterRadius();
        ok = std::fputs("<xgarmin:WaypointExtension>\n", file) >= 0 && ok;
        ok = WriteXmlElement(file, "xgarmin:Proximity", FormatDouble(proximity, "%.1f")) && ok;
        ok = std::fputs("</xgarmin:WaypointExtension>\n", file) >= 0 && ok;
    }
    return std::fputs("</extensions>\n", file) >= 0 && ok;
}

bool WriteGPX(std::FILE* file, COverlayRoute& route)
{
    route.GetSyncId(); // so that importing the file updates this route
    bool ok = WriteGPXLineObjectHead(file, "rte", route, route.GetName(), route.GetDescription(),
                                     route.GetCategory(), route.GetLineStyle());
    for (const auto& point : route.Points()) {
        std::string lat, lon;
        if (!FormatGPXPosition(point->GetLatitude(), point->GetLongitude(), lat, lon))
            continue;
        ok = std::fprintf(file, "<rtept lat=\"%s\" lon=\"%s\">\n", lat.c_str(), lon.c_str()) > 0 && ok;
        ok = WriteGPXPointBody(file, *point) && ok;
        ok = std::fputs("</rtept>\n", file) >= 0 && ok;
    }
    ok = std::fputs("</rte>\n", file) >= 0 && ok;
    return ok && !std::ferror(file);
}

bool WriteGPX(std::FILE* file, COverlayTrack& track)
{
    const auto& sections = track.Sections();
    if (sections.empty())
        return true;
    track.GetSyncId(); // so that importing the file updates this track
    bool ok = WriteGPXLineObjectHead(file, "trk", track, track.GetName(), track.GetDescription(),
                                     track.GetCategory(), track.GetLineStyle());
    ok = std::fputs("<trkseg>\n", file) >= 0 && ok;
    // Points are gathered in blocks: a long track is written in one go.
    std::string block;
    block.reserve(1 << 17);
    auto flush = [&] {
        ok = std::fwrite(block.data(), 1, block.size(), file) == block.size() && ok;
        block.clear();
    };
    std::string lat, lon;
    char number[16];
    for (size_t s = 0; s < sections.size(); ++s) {
        const CTrackSection& section = *sections[s];
        // A later section starts with a copy of the previous one's last point.
        for (uint32_t i = s == 0 ? 0 : 1; i < section.Count(); ++i) {
            const CTrackPoint& p = section.Point(i);
            if (!FormatGPXPosition(p.latitude, p.longitude, lat, lon))
                continue;
            block.append("<trkpt lat=\"").append(lat).append("\" lon=\"").append(lon).append("\">");
            // Truncated like "%d"; an altitude no int holds is left out.
            const double altitude = p.altitude;
            if (altitude != 0 && altitude > -2147483649.0 && altitude < 2147483648.0) {
                std::snprintf(number, sizeof number, "%d", static_cast<int>(altitude));
                block.append("<ele>").append(number).append("</ele>");
            }
            if (p.time != 0) {
                const std::string time = FormatXmlTime(p.time);
                if (!time.empty())
                    block.append("<time>").append(time).append("</time>");
            }
            block.append("</trkpt>\n");
            if (block.size() > (1 << 16))
                flush();
        }
    }
    flush();
    ok = std::fputs("</trkseg>\n</trk>\n", file) >= 0 && ok;
    return ok && !std::ferror(file);
}

bool WriteGPX(std::FILE* file, CSyncable& object)
{
    if (auto* mark = dynamic_cast<COverlayMark*>(&object))
        return WriteGPX(file, *mark);
    if (auto* route = dynamic_cast<COverlayRoute*>(&object))
        return WriteGPX(file, *route);
    if (auto* track = dynamic_cast<COverlayTrack*>(&object))
        return WriteGPX(file, *track);
    if (!file)
        return false;
    std::fputs("<!-- Don't know how to write object -->\n", file);
    return true;
}

bool SaveAsGPXFile(CSyncable& object, const std::string& path)
{
    CGPXWriter writer;
    if (!writer.Open(path))
        return false;
    writer.Check(WriteGPX(writer.File(), object));
    return writer.Close();
}

namespace {
// Every object of the list that is not deleted, into one GPX file.
template <class List> bool ExportLiveObjects(const std::string& path, const List& objects)
{
    CGPXWriter writer;
    if (!writer.Open(path))
        return false;
    for (const auto& object : objects)
        if (!object->IsDeleted())
            writer.Check(WriteGPX(writer.File(), *object));
    return writer.Close();
}
} // namespace

bool ExportMarksGPXFile(const std::string& path)
{
    return ExportLiveObjects(path, CMarkManager::Get().Marks());
}

bool ExportRoutesGPXFile(const std::string& path)
{
    return ExportLiveObjects(path, CMarkManager::Get().Routes());
}

bool ExportTracksGPXFile(const std::string& path)
{
    return ExportLiveObjects(path, CTrackManager::Get().Tracks());
}

namespace {

std::string LowerName(const std::string& name)
{
    std::string out = name;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

constexpr float kMaxRadius = 10000000.0f;

float ClampRadius(double r)
{
    if (!std::isfinite(r) || r < 0)
        return 0;
    return static_cast<float>(std::min(r, static_cast<double>(kMaxRadius)));
}

bool ReadHexByte(std::string_view text, size_t at, int& value)
{
    if (at + 2 > text.size())
        return false;
    int v = 0;
    for (size_t i = at; i < at + 2; ++i) {
        char c = text[i];
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    value = v;
    return true;
}

// The fields of a wpt or rtept into a mark whose position was already read.
void ReadWaypoint(const CXmlNode* wpt, COverlayMark& mark)
{
    std::string text;
    if (CXmlNode::GetChildText(wpt, "time", text)) {
        double time = ParseXmlTime(text);
        if (time != 0)
            mark.SetCreated(time);
    }
    if (CXmlNode::GetChildText(wpt, "name", text))
        mark.SetName(CleanImportedText(text));
    mark.SetDescription(GetGPXDescription(wpt));
    std::string link;
    CXmlNode::GetChildText(wpt, "url", link);
    if (const CXmlNode* link_node = CXmlNode::FindChild(wpt, "link")) {
        // The reader has decoded the entities of the attribute already.
        if (const char* href = CXmlNode::GetAttribute(link_node, "href"))
            link = href;
        if (link.empty())
            CXmlNode::AppendText(link_node, link);
    }
    mark.SetLink(CleanImportedText(link));
    if (CXmlNode::GetChildText(wpt, "type", text))
        mark.SetCategory(CleanImportedText(text));

    GraphicsColor colour = mark.GetColour();
    std::string icon = mark.GetIcon();
    if (const CXmlNode* extensions = CXmlNode::FindChild(wpt, "extensions")) {
        std::string hex;
        if (CXmlNode::GetChildText(CXmlNode::FindChild(extensions, "fill"), "color", hex)) {
            size_t start = hex.find_first_not_of(" \t\r\n");
            std::string_view digits =
                start == std::string::npos ? std::string_view() : std::string_view(hex).substr(start);
            int r = 0, g = 0, b = 0;
            if (ReadHexByte(digits, 0, r) && ReadHexByte(digits, 2, g) && ReadHexByte(digits, 4, b))
                colour.SetRGBA(r, g, b, 255);
        }
        std::string proximity_text;
        if (CXmlNode::GetChildText(CXmlNode::FindChild(extensions, "WaypointExtension"), "Proximity",
                                   proximity_text)) {
            double proximity = 0;
            if (!ParseDouble(proximity_text, proximity))
                proximity = 0;
            if (proximity < 0)
                mark.SetRadii(ClampRadius(-proximity), ClampRadius(1000.0 - 2.0 * proximity));
            else
                mark.SetRadii(mark.GetInnerRadius(), ClampRadius(proximity));
        }
    }
    if (CXmlNode::GetChildText(wpt, "sym", text))
        icon = NormaliseIconName(text);
    if (icon != mark.GetIcon() || !(colour == mark.GetColour()))
        mark.SetIconAndColour(icon, colour);
}

void ClearMarkForImport(COverlayMark& mark)
{
    mark.SetName("");
    mark.SetDescription("");
    mark.SetCategory("");
    mark.SetLink("");
    mark.SetRadii(0, 0);
}

// The marks and routes of the manager, indexed once per import.
struct CImportIndex
{
    std::unordered_map<uint64_t, COverlayMark*> marksById;
    std::unordered_map<std::string, std::vector<COverlayMark*>> marksByName;
    std::unordered_map<uint64_t, COverlayRoute*> routesById;

    void AddMark(COverlayMark* mark)
    {
        if (mark->HasSyncId())
            marksById.emplace(mark->GetSyncId(), mark);
        marksByName[LowerName(mark->GetName())].push_back(mark);
    }
    bool HasSameMark(const COverlayMark& mark) const
    {
        auto it = marksByName.find(LowerName(mark.GetName()));
        if (it == marksByName.end())
            return false;
        for (const COverlayMark* m : it->second)
            if (m != &mark && m->IsSameMark(mark))
                return true;
        return false;
    }
};

bool ImportWaypoint(CXmlNode* wpt, CImportIndex& index)
{
    double lat = 0, lon = 0;
    if (!ReadGPXPosition(wpt, lat, lon))
        return false;
    uint64_t id = GetGPXSyncId(wpt);
    auto found = id ? index.marksById.find(id) : index.marksById.end();
    if (found != index.marksById.end()) {
        COverlayMark* mark = found->second;
        std::string old_name = LowerName(mark->GetName());
        mark->Undelete();
        ClearMarkForImport(*mark);
        mark->SetPosition(lat, lon);
        ReadWaypoint(wpt, *mark);
        if (LowerName(mark->GetName()) != old_name)
            index.marksByName[LowerName(mark->GetName())].push_back(mark);
        mark->SetState(COverlayObject::kChanged);
        return true;
    }
    auto mark = std::make_unique<COverlayMark>();
    if (id)
        mark->SetSyncId(id);
    mark->SetPosition(lat, lon);
    ReadWaypoint(wpt, *mark);
    if (index.HasSameMark(*mark))
        return true;
    COverlayMark* added = CMarkManager::Get().AddMark(std::move(mark));
    index.AddMark(added);
    added->SetState(COverlayObject::kChanged);
    return true;
}

// The points of each trkseg, taken out of the tree as the parser completes
// them; one import's own.
using CStreamedPoints = std::unordered_map<const CXmlNode*, std::vector<CTrackPoint>>;
// The points of each rte, made as the parser completes them, so a route of
// a million points never stands in the tree as well.
using CStreamedRoutePoints = std::unordered_map<const CXmlNode*, std::vector<std::unique_ptr<COverlayMark>>>;

bool ImportRoute(CXmlNode* rte, CImportIndex& index, CStreamedRoutePoints& streamed)
{
    CMarkManager& manager = CMarkManager::Get();
    uint64_t id = GetGPXSyncId(rte);
    COverlayRoute* route = nullptr;
    std::unique_ptr<COverlayRoute> fresh;
    auto found = id ? index.routesById.find(id) : index.routesById.end();
    if (found != index.routesById.end()) {
        route = found->second;
        route->Undelete();
        route->Clear();
    } else {
        fresh = std::make_unique<COverlayRoute>();
        if (id)
            fresh->SetSyncId(id);
        route = fresh.get();
    }
    route->SetName(GetGPXRouteName(rte));
    route->SetDescription(GetGPXDescription(rte));
    std::string text;
    if (CXmlNode::GetChildText(rte, "type", text))
        route->SetCategory(CleanImportedText(text));
    ReadGPXLineStyle(CXmlNode::FindChild(rte, "extensions"), route->GetLineStyle());
    {
        CMarkManager::RoutePointScope scope;
        const auto points = streamed.find(rte);
        if (points != streamed.end())
            for (std::unique_ptr<COverlayMark>& point : points->second)
                route->AddPoint(std::move(point));
    }
    if (fresh) {
        if (manager.HasSameRoute(*fresh))
            return true;
        route = manager.AddRoute(std::move(fresh));
        if (route->HasSyncId())
            index.routesById.emplace(route->GetSyncId(), route);
    }
    route->NotifyChanged(COverlayObject::kChanged);
    return true;
}

// False when what was imported could not be saved.
bool SaveAfterImport()
{
    return SaveAllData();
}

// `what` in lower case.
bool IsName(const std::string& name, std::string_view what)
{
    if (name.size() != what.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != what[i])
            return false;
    }
    return true;
}

} // namespace

uint64_t GetGPXSyncId(const CXmlNode* element)
{
    std::string text;
    if (CXmlNode::GetChildText(element, "src", text) || CXmlNode::GetChildText(element, "desc", text))
        return CSyncable::ParseSyncTag(text);
    return 0;
}

std::string GetGPXDescription(const CXmlNode* element)
{
    std::string description, comment;
    CXmlNode::GetChildText(element, "desc", description);
    if (CXmlNode::GetChildText(element, "cmt", comment) && comment != description) {
        if (!description.empty())
            description += ' ';
        description += comment;
    }
    size_t tag = description.find("Source: tsid:");
    if (tag != std::string::npos)
        description.erase(tag);
    return CleanImportedText(description);
}

std::string GetGPXRouteName(const CXmlNode* element)
{
    std::string name, number;
    if (CXmlNode::GetChildText(element, "name", name))
        return CleanImportedText(name);
    if (CXmlNode::GetChildText(element, "number", number))
        return CleanImportedText("Route #" + number);
    return std::string();
}

void ReadGPXLineStyle(const CXmlNode* extensions, CLineStyle& style)
{
    const CXmlNode* line = CXmlNode::FindChild(extensions, "line");
    if (!line)
        return;
    std::string text;
    if (CXmlNode::GetChildText(line, "color", text)) {
        size_t start = text.find_first_not_of(" \t\r\n");
        std::string_view digits =
            start == std::string::npos ? std::string_view() : std::string_view(text).substr(start);
        int r = 0, g = 0, b = 0;
        if (ReadHexByte(digits, 0, r) && ReadHexByte(digits, 2, g) && ReadHexByte(digits, 4, b))
            style.colour.SetRGBA(r, g, b, 255);
    }
    if (CXmlNode::GetChildText(line, "opacity", text)) {
        double alpha = 0;
        if (ParseDouble(text, alpha))
            style.colour = style.colour.SetAlpha(std::clamp(alpha, 0.0, 1.0));
    }
    if (CXmlNode::GetChildText(line, "width", text)) {
        double width = 0;
        if (ParseDouble(text, width) && width >= 0)
            style.width = static_cast<float>(std::min(width, 1000.0));
    }
    if (CXmlNode::GetChildText(line, "pattern", text)) {
        static const char* const names[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
        style.pattern = CLineStyle::kSolid;
        for (uint32_t i = 0; i < 5; ++i)
            if (LowerName(text) == LowerName(names[i]))
                style.pattern = i;
    }
}

bool ReadGPXPosition(const CXmlNode* point, double& latitude, double& longitude)
{
    const char* lat_text = CXmlNode::GetAttribute(point, "lat");
    const char* lon_text = CXmlNode::GetAttribute(point, "lon");
    double lat = 0, lon = 0;
    if (!lat_text || !lon_text || !ParseDouble(lat_text, lat) || !ParseDouble(lon_text, lon))
        return false;
    if (std::fabs(lat) > 90.0 || std::fabs(lon) > 360.0)
        return false;
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0)
        lon += 360.0;
    latitude = lat;
    longitude = lon - 180.0;
    return true;
}

bool ReadGPXTrackPoint(const CXmlNode* trkpt, CTrackPoint& point)
{
    point = CTrackPoint();
    if (!ReadGPXPosition(trkpt, point.latitude, point.longitude))
        return false;
    std::string text;
    if (CXmlNode::GetChildText(trkpt, "time", text)) {
        const double time = ParseXmlTime(text);
        point.time = std::isfinite(time) ? time : 0;
    }
    double altitude = 0;
    // A value no float holds would be stored as infinity.
    if (CXmlNode::GetChildDouble(trkpt, "ele", altitude) && std::isfinite(static_cast<float>(altitude)))
        point.altitude = static_cast<float>(altitude);
    return true;
}

namespace {

// Every usable trkpt of every trkseg of a trk in document order, those taken
// while the file was parsed included.
void ReadGPXTrackPoints(const CXmlNode& trk, const CStreamedPoints& streamed,
                        const std::function<void(const CTrackPoint&)>& add)
{
    size_t segments = 0;
    while (const CXmlNode* segment = CXmlNode::FindNextChild(&trk, "trkseg", segments)) {
        auto found = streamed.find(segment);
        if (found != streamed.end())
            for (const CTrackPoint& point : found->second)
                add(point);
        // Points the parser left in the tree follow those taken before them.
        size_t points = 0;
        CTrackPoint point;
        while (const CXmlNode* trkpt = CXmlNode::FindNextChild(segment, "trkpt", points))
            if (ReadGPXTrackPoint(trkpt, point))
                add(point);
    }
}

// One "trk": the track with its sync id is brought back and refilled (the
// recorded one is left as it is, being newer), else a new track goes before
// the recorded one unless an equal track exists. Dense tracks are thinned as
// on load. True when the element was handled.
bool ImportTrack(const CXmlNode& trk, const CStreamedPoints& streamed)
{
    CTrackManager& manager = CTrackManager::Get();
    const uint64_t id = GetGPXSyncId(&trk);
    COverlayTrack* track = manager.FindTrackBySyncId(id);
    // Points recorded since the file was made would be lost.
    if (track && track == manager.RecordedTrack())
        return true;
    std::unique_ptr<COverlayTrack> fresh;
    if (track) {
        track->Undelete();
        track->ClearSections();
    } else {
        fresh = std::make_unique<COverlayTrack>();
        if (id != 0)
            fresh->SetSyncId(id);
        track = fresh.get();
    }
    track->SetName(GetGPXRouteName(&trk));
    track->SetDescription(GetGPXDescription(&trk));
    std::string category;
    CXmlNode::GetChildText(&trk, "type", category);
    track->SetCategory(CleanImportedText(category));
    ReadGPXLineStyle(CXmlNode::FindChild(&trk, "extensions"), track->GetLineStyle());
    // All segments join into one track.
    ReadGPXTrackPoints(trk, streamed, [track](const CTrackPoint& point) { track->AddPoint(point, false); });
    if (CTrackManager::IsDenseTrack(*track))
        track->Simplify(CTrackManager::kLoadThinning);
    if (fresh) {
        if (manager.HasSameTrack(*fresh))
            return true;
        track = manager.AddTrack(std::move(fresh));
    }
    track->NotifySections(COverlayObject::kChanged);
    return true;
}

// The one message of a failed import: which file and why.
bool RefuseImport(const std::string& path, const std::string& why)
{
    SetStatusMessage("The GPX file was not imported, " + why + ": " + path);
    return false;
}

} // namespace

namespace {

bool ImportGPXFileUnguarded(const std::string& path)
{
    std::unique_ptr<CXmlNode> root;
    CStreamedPoints streamed;
    CStreamedRoutePoints routePoints;
    bool complete = false;
    {
        std::vector<uint8_t> bytes;
        if (!ReadFileToBuffer(path, bytes, kMaxGPXFileBytes)) {
            struct stat st;
            if (::stat(path.c_str(), &st) == 0 && st.st_size > kMaxGPXFileBytes)
                SetStatusMessage("The GPX file is too large to import (more than 1 GB): " + path);
            else
                RefuseImport(path, "it cannot be read");
            return false;
        }
        const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        CXmlTextEncoding encoding = DetectXmlTextEncoding(raw);
        // Files written by older programs carry their code page undeclared.
        const bool guessed = encoding.encoding == EXmlTextEncoding::kUTF8 && encoding.markBytes == 0 &&
                             encoding.declared.empty() && !IsValidUTF8(raw);
        if (guessed)
            encoding.encoding = EXmlTextEncoding::kWindows1252;
        std::string converted;
        std::string_view text;
        if (!XmlBytesToUTF8(raw, encoding, converted, text))
            return RefuseImport(path,
                                "its encoding \"" + XmlCleanText(encoding.declared) + "\" cannot be read");
        // The raw bytes are not needed once converted.
        if (!converted.empty())
            std::vector<uint8_t>().swap(bytes);
        root = CXmlNode::LoadText(
            text,
            [&](const CXmlNode& parent, const CXmlNode& element) {
                if (IsName(element.name, "rtept") && IsName(parent.name, "rte")) {
                    double lat = 0, lon = 0;
                    if (ReadGPXPosition(&element, lat, lon)) {
                        CMarkManager::RoutePointScope scope;
                        auto point = std::make_unique<COverlayMark>();
                        point->SetPosition(lat, lon);
                        ReadWaypoint(&element, *point);
                        routePoints[&parent].push_back(std::move(point));
                    }
                    return true;
                }
                if (!IsName(element.name, "trkpt") || !IsName(parent.name, "trkseg"))
                    return false;
                CTrackPoint point;
                if (ReadGPXTrackPoint(&element, point))
                    streamed[&parent].push_back(point);
                return true;
            },
            complete);
        if (guessed && root)
            SetStatusMessage("The GPX file was read as Windows-1252 (it was not UTF-8): " + path);
    }
    if (!root)
        return RefuseImport(path, "it is not XML");
    // What stood before the cut would pass for the whole file.
    if (!complete)
        return RefuseImport(path, "it is cut short (its elements do not close)");
    CXmlNode::Rewind(root.get());
    CXmlNode* gpx = CXmlNode::FindNextElement(root.get(), "gpx");
    if (!gpx)
        return RefuseImport(path, "it is not a GPX file");
    CImportIndex index;
    CMarkManager& manager = CMarkManager::Get();
    for (const auto& mark : manager.Marks())
        index.AddMark(mark.get());
    for (const auto& route : manager.Routes())
        if (route->HasSyncId())
            index.routesById.emplace(route->GetSyncId(), route.get());

    size_t handled = 0;
    for (const auto& child : gpx->children) {
        if (!child->element)
            continue;
        std::string name = LowerName(child->name);
        if (name == "wpt")
            handled += ImportWaypoint(child.get(), index);
        else if (name == "rte")
            handled += ImportRoute(child.get(), index, routePoints);
        else if (name == "trk")
            handled += ImportTrack(*child, streamed);
    }
    // The objects are in the lists either way; the user learns they are not on disk yet.
    if (!SaveAfterImport())
        SetStatusMessage("The GPX file was imported but could not be saved: " + path);
    return handled >= 1;
}

} // namespace

bool ImportGPXFile(const std::string& path)
{
    try {
        return ImportGPXFileUnguarded(path);
    } catch (const std::bad_alloc&) {
        // Memory runs out while the file is parsed, before any object is
        // added: nothing is imported.
        return RefuseImport(path, "it is too large");
    }
}
