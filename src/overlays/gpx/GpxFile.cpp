#include "overlays/gpx/GpxFile.h"

#include "foundation/NumberText.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/JobPorts.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/text/CleanText.h"
#include "foundation/util/Files.h"
#include "foundation/util/PortSlot.h"
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
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <deque>
#include <new>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
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

// "rrggbb" after leading blanks.
bool ReadHexColour(const std::string& text, int& r, int& g, int& b)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    std::string_view digits =
        start == std::string::npos ? std::string_view() : std::string_view(text).substr(start);
    return ReadHexByte(digits, 0, r) && ReadHexByte(digits, 2, g) && ReadHexByte(digits, 4, b);
}

// What an import skipped or changed on the way; its message tells them.
struct CImportNotes
{
    size_t unplaced = 0; // points without a usable position
    size_t overlong = 0; // points whose attribute text was too long to read
    size_t textsCut = 0; // texts over the reader's limit, left out
    size_t cleaned = 0;  // texts with control characters or broken UTF-8 cleaned
    size_t present = 0;  // copies of objects already there
    size_t updated = 0;  // objects brought back by their sync tag
    bool recordedKept = false;
};

std::string Clean(std::string_view text, CImportNotes* notes)
{
    std::string out = CleanImportedText(text);
    if (notes && out != text)
        ++notes->cleaned;
    return out;
}

std::string ReadDescription(const CXmlNode* element, CImportNotes* notes)
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
    return Clean(description, notes);
}

std::string ReadRouteName(const CXmlNode* element, CImportNotes* notes)
{
    std::string name, number;
    if (CXmlNode::GetChildText(element, "name", name))
        return Clean(name, notes);
    if (CXmlNode::GetChildText(element, "number", number))
        return Clean("Route #" + number, notes);
    return std::string();
}

// The texts of the element and its children that the reader left out.
size_t CountCutTexts(const CXmlNode& element)
{
    size_t cut = element.cut ? 1 : 0;
    std::vector<const CXmlNode*> pending{&element};
    while (!pending.empty()) {
        const CXmlNode* node = pending.back();
        pending.pop_back();
        for (const auto& child : node->children) {
            cut += child->cut ? 1 : 0;
            pending.push_back(child.get());
        }
    }
    return cut;
}

// A wpt or rtept as read, before any mark is made: reading runs off the main
// thread, which alone makes model objects.
struct CPointRecord
{
    double latitude = 0, longitude = 0;
    double time = 0; // 0: none
    uint64_t syncId = 0;
    std::string name, description, link, category, icon;
    bool hasName = false, hasCategory = false, hasIcon = false, hasFill = false, hasProximity = false;
    uint8_t red = 0, green = 0, blue = 0;
    double proximity = 0;
};

// False without a usable position.
bool ReadPointRecord(const CXmlNode* wpt, CPointRecord& record, CImportNotes* notes)
{
    if (!ReadGPXPosition(wpt, record.latitude, record.longitude))
        return false;
    std::string text;
    if (CXmlNode::GetChildText(wpt, "time", text))
        record.time = ParseXmlTime(text);
    if ((record.hasName = CXmlNode::GetChildText(wpt, "name", text)))
        record.name = Clean(text, notes);
    record.description = ReadDescription(wpt, notes);
    std::string link;
    CXmlNode::GetChildText(wpt, "url", link);
    if (const CXmlNode* link_node = CXmlNode::FindChild(wpt, "link")) {
        // The reader has decoded the entities of the attribute already.
        if (const char* href = CXmlNode::GetAttribute(link_node, "href"))
            link = href;
        if (link.empty())
            CXmlNode::AppendText(link_node, link);
    }
    record.link = Clean(link, notes);
    if ((record.hasCategory = CXmlNode::GetChildText(wpt, "type", text)))
        record.category = Clean(text, notes);
    if (const CXmlNode* extensions = CXmlNode::FindChild(wpt, "extensions")) {
        int r = 0, g = 0, b = 0;
        if (CXmlNode::GetChildText(CXmlNode::FindChild(extensions, "fill"), "color", text) &&
            ReadHexColour(text, r, g, b)) {
            record.hasFill = true;
            record.red = uint8_t(r), record.green = uint8_t(g), record.blue = uint8_t(b);
        }
        if (CXmlNode::GetChildText(CXmlNode::FindChild(extensions, "WaypointExtension"), "Proximity", text)) {
            record.hasProximity = true;
            if (!ParseDouble(text, record.proximity))
                record.proximity = 0;
        }
    }
    if ((record.hasIcon = CXmlNode::GetChildText(wpt, "sym", text)))
        record.icon = NormaliseIconName(text);
    record.syncId = GetGPXSyncId(wpt);
    return true;
}

// The record into a mark whose other fields stay as they are.
void ApplyPointRecord(const CPointRecord& record, COverlayMark& mark)
{
    mark.SetPosition(record.latitude, record.longitude);
    if (record.time != 0)
        mark.SetCreated(record.time);
    if (record.hasName)
        mark.SetName(record.name);
    mark.SetDescription(record.description);
    mark.SetLink(record.link);
    if (record.hasCategory)
        mark.SetCategory(record.category);
    GraphicsColor colour = mark.GetColour();
    if (record.hasFill)
        colour.SetRGBA(record.red, record.green, record.blue, 255);
    if (record.hasProximity) {
        const double proximity = record.proximity;
        if (proximity < 0)
            mark.SetRadii(ClampRadius(-proximity), ClampRadius(1000.0 - 2.0 * proximity));
        else
            mark.SetRadii(mark.GetInnerRadius(), ClampRadius(proximity));
    }
    const std::string icon = record.hasIcon ? record.icon : mark.GetIcon();
    if (icon != mark.GetIcon() || !(colour == mark.GetColour()))
        mark.SetIconAndColour(icon, colour);
}

// The "extensions/line" fields that are present.
struct CStyleRecord
{
    bool hasColour = false, hasAlpha = false, hasWidth = false, hasPattern = false;
    int red = 0, green = 0, blue = 0;
    double alpha = 1;
    float width = 0;
    uint32_t pattern = CLineStyle::kSolid;
};

CStyleRecord ReadStyleRecord(const CXmlNode* extensions)
{
    CStyleRecord record;
    const CXmlNode* line = CXmlNode::FindChild(extensions, "line");
    if (!line)
        return record;
    std::string text;
    if (CXmlNode::GetChildText(line, "color", text))
        record.hasColour = ReadHexColour(text, record.red, record.green, record.blue);
    if (CXmlNode::GetChildText(line, "opacity", text) && ParseDouble(text, record.alpha)) {
        record.hasAlpha = true;
        record.alpha = std::clamp(record.alpha, 0.0, 1.0);
    }
    double width = 0;
    if (CXmlNode::GetChildText(line, "width", text) && ParseDouble(text, width) && width >= 0) {
        record.hasWidth = true;
        record.width = static_cast<float>(std::min(width, 1000.0));
    }
    if ((record.hasPattern = CXmlNode::GetChildText(line, "pattern", text))) {
        static const char* const names[] = {"Solid", "Dash", "Dot", "DashDot", "DashDotDot"};
        for (uint32_t i = 0; i < 5; ++i)
            if (LowerName(text) == LowerName(names[i]))
                record.pattern = i;
    }
    return record;
}

void ApplyStyleRecord(const CStyleRecord& record, CLineStyle& style)
{
    if (record.hasColour)
        style.colour.SetRGBA(record.red, record.green, record.blue, 255);
    if (record.hasAlpha)
        style.colour = style.colour.SetAlpha(record.alpha);
    if (record.hasWidth)
        style.width = record.width;
    if (record.hasPattern)
        style.pattern = record.pattern;
}

// An rte or trk as read.
struct CLineRecord
{
    uint64_t syncId = 0;
    std::string name, description, category;
    CStyleRecord style;
    std::deque<CPointRecord> points;      // rte
    std::vector<CTrackPoint> trackPoints; // trk, all segments joined
};

void ReadLineRecord(const CXmlNode& element, CLineRecord& record, CImportNotes* notes)
{
    record.syncId = GetGPXSyncId(&element);
    record.name = ReadRouteName(&element, notes);
    record.description = ReadDescription(&element, notes);
    std::string text;
    if (CXmlNode::GetChildText(&element, "type", text))
        record.category = Clean(text, notes);
    record.style = ReadStyleRecord(CXmlNode::FindChild(&element, "extensions"));
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
    return ReadDescription(element, nullptr);
}

std::string GetGPXRouteName(const CXmlNode* element)
{
    return ReadRouteName(element, nullptr);
}

void ReadGPXLineStyle(const CXmlNode* extensions, CLineStyle& style)
{
    ApplyStyleRecord(ReadStyleRecord(extensions), style);
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

// Everything a GPX file holds, read whole before any object is made; written
// by the reading thread, taken over by the main thread once it is done.
struct CGPXRead
{
    // Deques give their memory back block by block as the records are taken.
    std::deque<CPointRecord> waypoints;
    std::deque<CLineRecord> routes, tracks;
    size_t handled = 0; // wpt with a position, rte and trk elements
    CImportNotes notes;
    bool windows1252 = false;
    std::string failure; // the status line's message when nothing can be imported

    // The objects still to be made.
    size_t Count() const
    {
        size_t count = waypoints.size() + routes.size() + tracks.size();
        for (const CLineRecord& route : routes)
            count += route.points.size();
        return count;
    }
};

namespace {

// The one message of a failed import: which file and why.
std::string RefusalText(const std::string& path, const std::string& why)
{
    return "The GPX file was not imported, " + why + ": " + path;
}

bool RefuseImport(const std::string& path, const std::string& why)
{
    SetStatusMessage(RefusalText(path, why));
    return false;
}

// Every wpt, rte and trk of a gpx element taken out of the tree as the
// parser completes it, so that no element of a long list stays as nodes.
class CGPXStreamReader
{
public:
    explicit CGPXStreamReader(CGPXRead& read) : m_read(read) {}

    bool Take(const CXmlNode& parent, const CXmlNode& element)
    {
        CImportNotes& notes = m_read.notes;
        if (IsName(element.name, "wpt") || IsName(element.name, "rtept")) {
            const bool wpt = element.name.size() == 3;
            if (!IsName(parent.name, wpt ? "gpx" : "rte"))
                return false;
            CPointRecord record;
            if (!ReadPointRecord(&element, record, &notes)) {
                ++(element.cut ? notes.overlong : notes.unplaced);
                return true;
            }
            notes.textsCut += CountCutTexts(element);
            if (wpt) {
                m_read.waypoints.push_back(std::move(record));
                ++m_read.handled;
            } else {
                m_routePoints[&parent].push_back(std::move(record));
            }
            return true;
        }
        if (IsName(element.name, "trkpt")) {
            if (!IsName(parent.name, "trkseg"))
                return false;
            CTrackPoint point;
            if (!ReadGPXTrackPoint(&element, point)) {
                ++(element.cut ? notes.overlong : notes.unplaced);
                return true;
            }
            notes.textsCut += CountCutTexts(element);
            m_segmentPoints[&parent].push_back(point);
            return true;
        }
        // The lists are keyed by node: each is taken when its node completes,
        // before the node's memory can serve another.
        if (IsName(element.name, "trkseg")) {
            std::vector<CTrackPoint> points = Take(m_segmentPoints, &element);
            if (IsName(parent.name, "trk")) {
                std::vector<CTrackPoint>& track = m_trackPoints[&parent];
                if (track.empty())
                    track.swap(points);
                else
                    track.insert(track.end(), points.begin(), points.end());
            }
            return true;
        }
        if (IsName(element.name, "rte") || IsName(element.name, "trk")) {
            const bool rte = IsName(element.name, "rte");
            CLineRecord record;
            if (rte)
                record.points = Take(m_routePoints, &element);
            else
                record.trackPoints = Take(m_trackPoints, &element);
            if (!IsName(parent.name, "gpx"))
                return true;
            ReadLineRecord(element, record, &notes);
            notes.textsCut += CountCutTexts(element);
            (rte ? m_read.routes : m_read.tracks).push_back(std::move(record));
            ++m_read.handled;
            return true;
        }
        return false;
    }

private:
    template <class List>
    static List Take(std::unordered_map<const CXmlNode*, List>& map, const CXmlNode* node)
    {
        List taken;
        auto found = map.find(node);
        if (found != map.end()) {
            taken.swap(found->second);
            map.erase(found);
        }
        return taken;
    }

    CGPXRead& m_read;
    std::unordered_map<const CXmlNode*, std::deque<CPointRecord>> m_routePoints;
    std::unordered_map<const CXmlNode*, std::vector<CTrackPoint>> m_segmentPoints;
    std::unordered_map<const CXmlNode*, std::vector<CTrackPoint>> m_trackPoints;
};

// Reads the whole file into `read` (any thread; no model object is touched).
// With a record, the parse reports its progress and stops on Cancel.
void ReadGPXUnguarded(const std::string& path, CGPXRead& read, CProgressDialogData* progress)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileToBuffer(path, bytes, kMaxGPXFileBytes)) {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && st.st_size > kMaxGPXFileBytes)
            read.failure = "The GPX file is too large to import (more than 1 GB): " + path;
        else
            read.failure = RefusalText(path, "it cannot be read");
        return;
    }
    const std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    CXmlTextEncoding encoding = DetectXmlTextEncoding(raw);
    // Files written by older programs carry their code page undeclared.
    read.windows1252 = encoding.encoding == EXmlTextEncoding::kUTF8 && encoding.markBytes == 0 &&
                       encoding.declared.empty() && !IsValidUTF8(raw);
    if (read.windows1252)
        encoding.encoding = EXmlTextEncoding::kWindows1252;
    std::string converted;
    std::string_view text;
    if (!XmlBytesToUTF8(raw, encoding, converted, text)) {
        read.failure =
            RefusalText(path, "its encoding \"" + XmlCleanText(encoding.declared) + "\" cannot be read");
        return;
    }
    // The raw bytes are not needed once converted.
    if (!converted.empty())
        std::vector<uint8_t>().swap(bytes);
    if (progress) {
        progress->progress.total.store(static_cast<int64_t>(text.size()));
        progress->progress.done.store(0);
    }
    bool stopped = false;
    CXmlProgressSink report;
    if (progress)
        report = [progress, &stopped](size_t done) {
            progress->progress.done.store(static_cast<int64_t>(done));
            stopped = progress->IsCancelled();
            return !stopped;
        };
    CGPXStreamReader reader(read);
    bool complete = false;
    std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(
        text,
        [&reader](const CXmlNode& parent, const CXmlNode& element) { return reader.Take(parent, element); },
        complete, report);
    if (stopped)
        read.failure = RefusalText(path, "the import was cancelled");
    else if (!root)
        read.failure = RefusalText(path, "it is not XML");
    // What stood before the cut would pass for the whole file.
    else if (!complete)
        read.failure = RefusalText(path, "it is cut short (its elements do not close)");
    else {
        CXmlNode::Rewind(root.get());
        if (!CXmlNode::FindNextElement(root.get(), "gpx"))
            read.failure = RefusalText(path, "it is not a GPX file");
    }
}

void ReadGPX(const std::string& path, CGPXRead& read, CProgressDialogData* progress)
{
    try {
        ReadGPXUnguarded(path, read, progress);
    } catch (const std::bad_alloc&) {
        read = CGPXRead();
        read.failure = RefusalText(path, "it is too large");
    }
    if (!read.failure.empty()) {
        // Nothing of a refused file is imported: its records go at once.
        const std::string failure = std::move(read.failure);
        read = CGPXRead();
        read.failure = failure;
    }
}

// "12 marks", "1 track", "2,650,000 marks".
std::string Counted(size_t n, const char* one, const char* many)
{
    std::string digits = std::to_string(n);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits + " " + (n == 1 ? one : many);
}

// "a", "a and b", "a, b and c".
std::string ListText(const std::vector<std::string>& items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The objects of one file: made from the records first, a slice at a time
// and without looking at the managers; then, in one step, matched with what
// the managers hold (sync tags, copies), joined, and taken back as a whole
// when the stores cannot be saved with them. Main thread only.
class CImportStage
{
public:
    explicit CImportStage(CImportNotes& notes) : m_notes(notes) {}

    // Makes objects until every record is taken (true) or the deadline has
    // passed. Each record is released once its object stands.
    bool Make(CGPXRead& read, std::chrono::steady_clock::time_point deadline)
    {
        size_t steps = 0;
        auto timeUp = [&] { return (++steps & 255) == 0 && std::chrono::steady_clock::now() >= deadline; };
        for (; !read.waypoints.empty(); read.waypoints.pop_front()) {
            if (timeUp())
                return false;
            const CPointRecord& record = read.waypoints.front();
            CStagedMark staged{std::make_unique<COverlayMark>(), record.syncId, record.time != 0,
                               record.hasIcon, record.hasFill};
            ApplyPointRecord(record, *staged.mark);
            m_marks.push_back(std::move(staged));
        }
        for (; !read.routes.empty(); read.routes.pop_front()) {
            CLineRecord& record = read.routes.front();
            {
                CMarkManager::RoutePointScope scope;
                for (; !record.points.empty(); record.points.pop_front()) {
                    if (timeUp())
                        return false;
                    m_routePoints.push_back(std::make_unique<COverlayMark>());
                    ApplyPointRecord(record.points.front(), *m_routePoints.back());
                }
            }
            auto route = std::make_unique<COverlayRoute>();
            route->SetName(record.name);
            route->SetDescription(record.description);
            route->SetCategory(record.category);
            ApplyStyleRecord(record.style, route->GetLineStyle());
            route->SwapPoints(m_routePoints);
            m_routePoints.clear();
            m_routes.push_back({std::move(route), record.syncId, record.style});
        }
        for (; !read.tracks.empty(); read.tracks.pop_front()) {
            if (timeUp())
                return false;
            CLineRecord& record = read.tracks.front();
            auto track = std::make_unique<COverlayTrack>();
            track->SetName(record.name);
            track->SetDescription(record.description);
            track->SetCategory(record.category);
            ApplyStyleRecord(record.style, track->GetLineStyle());
            // All segments join into one track; dense tracks are thinned as on load.
            for (const CTrackPoint& point : record.trackPoints)
                track->AddPoint(point, false);
            std::vector<CTrackPoint>().swap(record.trackPoints);
            if (CTrackManager::IsDenseTrack(*track))
                track->Simplify(CTrackManager::kLoadThinning);
            m_tracks.push_back({std::move(track), record.syncId, record.style});
        }
        return true;
    }

    // What the message counts, once joined.
    size_t Marks() const { return m_markCount; }
    size_t Routes() const { return m_routeCount; }
    size_t Tracks() const { return m_trackCount; }

    // Matches and joins every object made; false when something could not
    // be joined (nothing then is).
    bool Join()
    {
        CMarkManager& marks = CMarkManager::Get();
        m_marksBefore = marks.Marks().size();
        m_routesBefore = marks.Routes().size();
        m_joining = true;
        try {
            if (MatchAndJoin())
                return true;
        } catch (const std::bad_alloc&) {
        }
        TakeBack();
        return false;
    }

    // Every manager as it was before Join. What the import made goes first:
    // the objects read back need the memory it held.
    void TakeBack()
    {
        if (!m_joining)
            return;
        m_joining = false;
        CMarkManager& marks = CMarkManager::Get();
        marks.DropRoutesFrom(m_routesBefore);
        marks.DropMarksFrom(m_marksBefore);
        for (const COverlayTrack* track : m_joinedTracks)
            CTrackManager::Get().TakeTrack(track);
        m_joinedTracks.clear();
        m_marks.clear();
        m_routes.clear();
        m_tracks.clear();
        m_newMarks.clear();
        m_newRoutes.clear();
        m_newTracks.clear();
        m_marksById.clear();
        m_marksByKey.clear();
        for (auto& [object, bytes] : m_snapshots) {
            if (auto* mark = dynamic_cast<COverlayMark*>(object)) {
                mark->LoadFromBuffer(bytes.data(), bytes.size());
                mark->SetState(COverlayObject::kChanged);
            } else if (auto* route = dynamic_cast<COverlayRoute*>(object)) {
                EndToolOnRoute(*route);
                route->LoadFromBuffer(bytes.data(), bytes.size());
                route->NotifyChanged(COverlayObject::kChanged);
            } else if (auto* track = dynamic_cast<COverlayTrack*>(object)) {
                EndToolOnTrack(*track);
                track->LoadFromBuffer(bytes.data(), bytes.size());
                track->NotifySections(COverlayObject::kChanged);
            }
        }
        m_snapshots.clear();
    }

private:
    struct CStagedMark
    {
        std::unique_ptr<COverlayMark> mark;
        uint64_t syncId;
        bool hasTime, hasIcon, hasFill; // what an update takes over
    };
    template <class T> struct CStagedLine
    {
        std::unique_ptr<T> object;
        uint64_t syncId;
        CStyleRecord style; // what an update takes over
    };

    // The stored form of an object about to change in place brings it back;
    // false when it cannot be kept.
    bool Snapshot(CSyncable& object)
    {
        if (m_snapshotted.count(&object))
            return true;
        m_snapshotted.insert(&object);
        ++m_notes.updated;
        m_snapshots.emplace_back(&object, std::string());
        return object.SaveToBuffer(m_snapshots.back().second);
    }

    // Marks by name and by band of latitude as wide as IsSameMark's
    // tolerance: a file of thousands of marks of one name stays linear.
    struct CMarkKey
    {
        std::string name;
        int64_t band;
        bool operator==(const CMarkKey& other) const { return band == other.band && name == other.name; }
    };
    struct CMarkKeyHash
    {
        size_t operator()(const CMarkKey& key) const
        {
            return std::hash<std::string>()(key.name) ^ (size_t(key.band) * size_t(0x9E3779B97F4A7C15ull));
        }
    };
    static constexpr double kSameMarkDegrees = 1.7e-5;
    static CMarkKey KeyOf(const COverlayMark& mark)
    {
        const double band = mark.GetLatitude() / kSameMarkDegrees;
        return {LowerName(mark.GetName()), std::isfinite(band) ? int64_t(std::floor(band)) : INT64_MIN};
    }

    void IndexMark(COverlayMark* mark)
    {
        if (mark->HasSyncId())
            m_marksById.emplace(mark->GetSyncId(), mark);
        m_marksByKey[KeyOf(*mark)].push_back(mark);
    }

    bool HasSameMark(const COverlayMark& mark) const
    {
        CMarkKey key = KeyOf(mark);
        if (key.band == INT64_MIN)
            return false;
        const int64_t band = key.band;
        for (key.band = band - 1; key.band <= band + 1; ++key.band) {
            auto it = m_marksByKey.find(key);
            if (it == m_marksByKey.end())
                continue;
            for (const COverlayMark* m : it->second)
                if (m != &mark && m->IsSameMark(mark))
                    return true;
        }
        return false;
    }

    // The waypoint read into the mark that carries its sync tag.
    static void UpdateMark(COverlayMark& mark, const CStagedMark& staged)
    {
        const COverlayMark& from = *staged.mark;
        mark.Undelete();
        mark.SetName(from.GetName());
        mark.SetDescription(from.GetDescription());
        mark.SetCategory(from.GetCategory());
        mark.SetLink(from.GetLink());
        mark.SetRadii(from.GetInnerRadius(), from.GetOuterRadius());
        mark.SetPosition(from.GetLatitude(), from.GetLongitude());
        if (staged.hasTime)
            mark.SetCreated(from.GetCreated());
        const std::string icon = staged.hasIcon ? from.GetIcon() : mark.GetIcon();
        const GraphicsColor colour = staged.hasFill ? from.GetColour() : mark.GetColour();
        if (icon != mark.GetIcon() || !(colour == mark.GetColour()))
            mark.SetIconAndColour(icon, colour);
        mark.SetState(COverlayObject::kChanged);
    }

    bool MatchMarks()
    {
        for (const auto& mark : CMarkManager::Get().Marks())
            IndexMark(mark.get());
        for (CStagedMark& staged : m_marks) {
            auto found = staged.syncId ? m_marksById.find(staged.syncId) : m_marksById.end();
            if (found != m_marksById.end()) {
                COverlayMark* mark = found->second;
                if (!m_new.count(mark) && !Snapshot(*mark))
                    return false;
                const CMarkKey oldKey = KeyOf(*mark);
                UpdateMark(*mark, staged);
                if (!(KeyOf(*mark) == oldKey))
                    m_marksByKey[KeyOf(*mark)].push_back(mark);
                ++m_markCount;
                continue;
            }
            if (staged.syncId)
                staged.mark->SetSyncId(staged.syncId);
            if (HasSameMark(*staged.mark)) {
                ++m_notes.present;
                continue;
            }
            IndexMark(staged.mark.get());
            m_new.insert(staged.mark.get());
            m_newMarks.push_back(std::move(staged.mark));
            ++m_markCount;
        }
        return true;
    }

    bool HasSameRoute(const COverlayRoute& route) const
    {
        for (const auto& r : CMarkManager::Get().Routes())
            if (r->IsSameRoute(route))
                return true;
        for (const auto& r : m_newRoutes)
            if (r->IsSameRoute(route))
                return true;
        return false;
    }

    bool MatchRoutes()
    {
        std::unordered_map<uint64_t, COverlayRoute*> byId;
        for (const auto& route : CMarkManager::Get().Routes())
            if (route->HasSyncId())
                byId.emplace(route->GetSyncId(), route.get());
        for (CStagedLine<COverlayRoute>& staged : m_routes) {
            COverlayRoute& from = *staged.object;
            auto found = staged.syncId ? byId.find(staged.syncId) : byId.end();
            if (found != byId.end()) {
                COverlayRoute* route = found->second;
                if (!m_new.count(route) && !Snapshot(*route))
                    return false;
                route->Undelete();
                route->Clear();
                route->SetName(from.GetName());
                route->SetDescription(from.GetDescription());
                route->SetCategory(from.GetCategory());
                ApplyStyleRecord(staged.style, route->GetLineStyle());
                std::vector<std::unique_ptr<COverlayMark>> points;
                from.SwapPoints(points);
                route->SwapPoints(points);
                route->NotifyChanged(COverlayObject::kChanged);
                ++m_routeCount;
                continue;
            }
            if (staged.syncId)
                from.SetSyncId(staged.syncId);
            if (HasSameRoute(from)) {
                ++m_notes.present;
                continue;
            }
            if (from.HasSyncId())
                byId.emplace(from.GetSyncId(), &from);
            m_new.insert(&from);
            m_newRoutes.push_back(std::move(staged.object));
            ++m_routeCount;
        }
        return true;
    }

    bool HasSameTrack(const COverlayTrack& track) const
    {
        if (CTrackManager::Get().HasSameTrack(track))
            return true;
        for (const auto& t : m_newTracks)
            if (t->IsSameTrack(track))
                return true;
        return false;
    }

    // The track with the sync id is refilled (the recorded one is left as it
    // is, being newer), else a new track goes before the recorded one unless
    // an equal track exists.
    bool MatchTracks()
    {
        CTrackManager& manager = CTrackManager::Get();
        std::unordered_map<uint64_t, COverlayTrack*> newById;
        for (CStagedLine<COverlayTrack>& staged : m_tracks) {
            COverlayTrack& from = *staged.object;
            COverlayTrack* track = nullptr;
            if (staged.syncId) {
                auto found = newById.find(staged.syncId);
                track = found != newById.end() ? found->second : manager.FindTrackBySyncId(staged.syncId);
            }
            if (track) {
                // Points recorded since the file was made would be lost.
                if (track == manager.RecordedTrack()) {
                    m_notes.recordedKept = true;
                    continue;
                }
                if (!m_new.count(track) && !Snapshot(*track))
                    return false;
                track->Undelete();
                track->SetName(from.GetName());
                track->SetDescription(from.GetDescription());
                track->SetCategory(from.GetCategory());
                ApplyStyleRecord(staged.style, track->GetLineStyle());
                // Replaced only now that the new points are complete.
                track->SetPoints(from.AllPoints());
                track->NotifySections(COverlayObject::kChanged);
                ++m_trackCount;
                continue;
            }
            if (staged.syncId)
                from.SetSyncId(staged.syncId);
            if (HasSameTrack(from)) {
                ++m_notes.present;
                continue;
            }
            // An id of its own tells the track from what recording leaves,
            // which the load drops when it is short.
            newById.emplace(from.GetSyncId(), &from);
            m_new.insert(&from);
            m_newTracks.push_back(std::move(staged.object));
            ++m_trackCount;
        }
        return true;
    }

    bool MatchAndJoin()
    {
        if (!MatchMarks() || !MatchRoutes() || !MatchTracks())
            return false;
        CMarkManager& marks = CMarkManager::Get();
        for (auto& mark : m_newMarks)
            marks.AddMark(std::move(mark))->SetState(COverlayObject::kChanged);
        for (auto& route : m_newRoutes)
            marks.AddRoute(std::move(route))->NotifyChanged(COverlayObject::kChanged);
        m_joinedTracks.reserve(m_newTracks.size());
        for (auto& track : m_newTracks) {
            m_joinedTracks.push_back(track.get());
            CTrackManager::Get().AddTrack(std::move(track))->NotifySections(COverlayObject::kChanged);
        }
        return true;
    }

    CImportNotes& m_notes;
    // Made from the records.
    std::vector<CStagedMark> m_marks;
    std::vector<CStagedLine<COverlayRoute>> m_routes;
    std::vector<CStagedLine<COverlayTrack>> m_tracks;
    std::vector<std::unique_ptr<COverlayMark>> m_routePoints; // of the route being made

    // Matched and joined.
    std::unordered_map<uint64_t, COverlayMark*> m_marksById;
    std::unordered_map<CMarkKey, std::vector<COverlayMark*>, CMarkKeyHash> m_marksByKey;
    std::unordered_set<const void*> m_new; // objects of this file that join
    std::vector<std::unique_ptr<COverlayMark>> m_newMarks;
    std::vector<std::unique_ptr<COverlayRoute>> m_newRoutes;
    std::vector<std::unique_ptr<COverlayTrack>> m_newTracks;
    size_t m_markCount = 0, m_routeCount = 0, m_trackCount = 0;

    bool m_joining = false;
    size_t m_marksBefore = 0, m_routesBefore = 0;
    std::vector<const COverlayTrack*> m_joinedTracks;
    std::unordered_set<const CSyncable*> m_snapshotted;
    std::vector<std::pair<CSyncable*, std::string>> m_snapshots;
};

// Without a saver installed (tools, benchmarks) there is no store to fail.
bool SaveAfterImport()
{
    if (!IsPortInstalled<ISaveAllPort>())
        return true;
    try {
        return SaveAllData();
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string ImportMessage(const CImportStage& stage, const CImportNotes& notes, bool windows1252,
                          const std::string& path)
{
    std::vector<std::string> added;
    if (stage.Marks())
        added.push_back(Counted(stage.Marks(), "mark", "marks"));
    if (stage.Routes())
        added.push_back(Counted(stage.Routes(), "route", "routes"));
    if (stage.Tracks())
        added.push_back(Counted(stage.Tracks(), "track", "tracks"));
    std::string text = "Imported " + (added.empty() ? std::string("nothing") : ListText(added)) + " from " +
                       FileNameOf(path);
    std::vector<std::string> details;
    if (notes.updated)
        details.push_back(Counted(notes.updated, "of them", "of them") + " updated");
    if (notes.present)
        details.push_back(Counted(notes.present, "object was", "objects were") + " there already");
    if (notes.recordedKept)
        details.push_back("the track being recorded was left as it is");
    if (notes.unplaced)
        details.push_back("skipped " + Counted(notes.unplaced, "point", "points") +
                          " without a usable position");
    if (notes.overlong)
        details.push_back("skipped " + Counted(notes.overlong, "point", "points") +
                          " whose attributes are over 100,000 characters");
    if (notes.textsCut)
        details.push_back("left out " + Counted(notes.textsCut, "text", "texts") +
                          " over 100,000 characters");
    if (notes.cleaned)
        details.push_back("removed control characters or broken UTF-8 from " +
                          Counted(notes.cleaned, "text", "texts"));
    if (windows1252)
        details.push_back("read as Windows-1252 (it was not UTF-8)");
    for (const std::string& detail : details)
        text += "; " + detail;
    return text;
}

// Joins what was made, saves and tells what was imported; or takes it all
// back and tells why.
bool FinishImport(CImportStage& stage, const CGPXRead& read, const std::string& path)
{
    if (!stage.Join())
        return RefuseImport(path, "it is too large");
    if (!SaveAfterImport()) {
        // A store that did save is written again as it was.
        stage.TakeBack();
        SaveAfterImport();
        return RefuseImport(path, "the marks, routes and tracks could not be saved with it");
    }
    SetStatusMessage(ImportMessage(stage, read.notes, read.windows1252, path));
    return read.handled >= 1;
}

// The main thread's half, in one go.
bool ApplyGPXRead(CGPXRead& read, const std::string& path)
{
    if (!read.failure.empty()) {
        SetStatusMessage(read.failure);
        return false;
    }
    try {
        CImportStage stage(read.notes);
        stage.Make(read, std::chrono::steady_clock::time_point::max());
        return FinishImport(stage, read, path);
    } catch (const std::bad_alloc&) {
        // Thrown while the objects were made, before any joined.
        read = CGPXRead();
        return RefuseImport(path, "it is too large");
    }
}

// An import read within this long, with no more objects than below, shows
// no dialog.
constexpr std::chrono::milliseconds kQuickImport{1000};
constexpr size_t kQuickObjects = 100000;
// The main thread's share of each heartbeat tick while objects are made.
constexpr std::chrono::milliseconds kSlice{25};

// One import with its progress dialog. The file is read on a job thread;
// the objects are then made on the main thread a slice at each heartbeat
// tick, so that the window keeps answering; the dialog ends when all are
// made, and they join the managers after it.
class CGPXImportJob : public CHeartbeat::Counter
{
public:
    explicit CGPXImportJob(std::string path)
        : CHeartbeat::Counter(1), m_path(std::move(path)), m_stage(m_read.notes),
          m_dialog(std::make_shared<CProgressDialogData>()), m_reader(std::make_shared<CProgressDialogData>())
    {
    }

    // A job dropped unfinished (the application quits under its dialog)
    // stops the read at once instead of waiting for the whole file.
    ~CGPXImportJob() override { m_reader->Cancel(); }

    void StartReading()
    {
        m_reader->StartThread([this](CProgressDialogData& d) { ReadGPX(m_path, m_read, &d); });
    }
    // Read quickly and small enough to make at once.
    bool IsQuick() { return m_reader->WaitDone(kQuickImport) && m_read.Count() <= kQuickObjects; }
    void StartSlices() { m_slicing = true; }
    const std::shared_ptr<CProgressDialogData>& Dialog() const { return m_dialog; }

    void OnTick() override
    {
        if (!m_slicing || m_dialog->IsDone())
            return;
        if (m_dialog->IsCancelled())
            m_reader->Cancel();
        if (!m_reader->IsDone()) {
            m_dialog->progress.total.store(m_reader->progress.total.load());
            m_dialog->progress.done.store(m_reader->progress.done.load());
            return;
        }
        if (m_dialog->IsCancelled() || !m_read.failure.empty()) {
            m_dialog->MarkDone();
            return;
        }
        if (m_objects == 0) {
            m_objects = std::max<size_t>(m_read.Count(), 1);
            m_dialog->RequestReset();
            m_dialog->SetMessage("Making the marks, routes and tracks of " + FileNameOf(m_path) + "...");
        }
        try {
            const bool made = m_stage.Make(m_read, std::chrono::steady_clock::now() + kSlice);
            m_dialog->progress.total.store(static_cast<int64_t>(m_objects));
            m_dialog->progress.done.store(
                static_cast<int64_t>(m_objects - std::min(m_objects, m_read.Count())));
            if (made)
                m_dialog->MarkDone();
        } catch (const std::bad_alloc&) {
            m_tooLarge = true;
            m_dialog->MarkDone();
        }
    }

    // After the dialog, or at once when none was needed (the read is then
    // waited for).
    void Finish(int32_t code)
    {
        m_slicing = false;
        m_reader->Join();
        if (code != 0 || m_dialog->IsCancelled() || m_reader->IsCancelled()) {
            RefuseImport(m_path, "the import was cancelled");
        } else if (!m_read.failure.empty()) {
            SetStatusMessage(m_read.failure);
        } else if (m_tooLarge) {
            RefuseImport(m_path, "it is too large");
        } else {
            try {
                m_stage.Make(m_read, std::chrono::steady_clock::time_point::max());
                FinishImport(m_stage, m_read, m_path);
            } catch (const std::bad_alloc&) {
                RefuseImport(m_path, "it is too large");
            }
        }
        m_read = CGPXRead();
    }

private:
    const std::string m_path;
    CGPXRead m_read;
    CImportStage m_stage;
    std::shared_ptr<CProgressDialogData> m_dialog; // ends when every object is made
    size_t m_objects = 0;                          // to make, once read
    bool m_slicing = false;
    bool m_tooLarge = false;
    // Last, so that its thread is joined before what it writes goes.
    std::shared_ptr<CProgressDialogData> m_reader;
};

} // namespace

bool ImportGPXFile(const std::string& path)
{
    CGPXRead read;
    ReadGPX(path, read, nullptr);
    return ApplyGPXRead(read, path);
}

void ImportGPXFileWithProgress(QWidget* parent, const std::string& path)
{
    auto job = std::make_shared<CGPXImportJob>(path);
    job->StartReading();
    CCallback storage;
    PushProgressCallback(storage, CCallback([job](int32_t code) {
                             job->Finish(code);
                             return code;
                         }));
    if (!job->IsQuick() && IsPortInstalled<IProgressDialogOpener>()) {
        job->StartSlices();
        ShowProgressDialog(parent, job->Dialog(), "Importing " + FileNameOf(path) + "...");
    } else {
        // Done before a dialog was needed, or none can be shown: end as a
        // dialog would.
        CDialogCallbackList quick;
        quick.TakeOverPendingList();
        quick.EndDialog(0);
    }
    RunDialogCallbacksUntil(storage);
}
