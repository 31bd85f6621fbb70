#include "overlays/GpxFile.h"

#include "foundation/NumberText.h"
#include "foundation/util/Xml.h"
#include "mapview/view/RasterleafView.h"
#include "overlays/LineStyle.h"
#include "overlays/MarkManager.h"
#include "overlays/OverlayMark.h"
#include "overlays/OverlayRoute.h"
#include "overlays/Syncable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

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
    latText = FormatDouble(latitude, "%.10f");
    lonText = FormatDouble(lon, "%.10f");
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

bool CSyncable::SaveAsGPXFile(const std::string& path)
{
    CGPXWriter writer;
    if (!writer.Open(path))
        return false;
    writer.Check(WriteGPX(writer.File()));
    return writer.Close();
}

bool CMarkManager::ExportMarksGPXFile(const std::string& path)
{
    CGPXWriter writer;
    if (!writer.Open(path))
        return false;
    for (const auto& mark : m_marks)
        if (!mark->IsDeleted())
            writer.Check(mark->WriteGPX(writer.File()));
    return writer.Close();
}

bool CMarkManager::ExportRoutesGPXFile(const std::string& path)
{
    CGPXWriter writer;
    if (!writer.Open(path))
        return false;
    for (const auto& route : m_routes)
        if (!route->IsDeleted())
            writer.Check(route->WriteGPX(writer.File()));
    return writer.Close();
}
