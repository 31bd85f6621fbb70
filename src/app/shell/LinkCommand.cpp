#include "app/shell/LinkCommand.h"

#include "charts/ChartFormat.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "charts/packages/PackageManifest.h"
#include "foundation/NumberText.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/text/CleanText.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "foundation/web/WebURL.h"
#include "panels/LayoutFile.h"

#include <cctype>
#include <cmath>

namespace {

constexpr std::string_view kScheme = "tessro:";

bool HasControlByte(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

std::string_view Trim(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string ToLower(std::string_view text)
{
    std::string out(text);
    StringToLower(out);
    return out;
}

// Decodes a query component: '+' is a space, %XX that byte.
bool DecodeQueryPart(std::string_view text, std::string& out)
{
    std::string plus(text);
    for (char& c : plus)
        if (c == '+')
            c = ' ';
    return PercentDecode(plus, out);
}

// A whole, finite number.
bool LinkNumber(const std::vector<CLinkPair>& pairs, std::string_view key, double& out)
{
    const std::string* text = FindLinkValue(pairs, key);
    return text && ParseDouble(*text, out) && std::isfinite(out);
}

// The first `limit` bytes or fewer, never ending inside a UTF-8 sequence.
std::string CutAtCharacter(const std::string& text, size_t limit)
{
    if (text.size() <= limit)
        return text;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// "." or ".." components, backslashes, NUL and other control bytes, or a
// leading "//" (which the client would read as another host).
bool IsSafeRemotePath(const std::string& path)
{
    if (path.empty() || path[0] != '/' || path.compare(0, 2, "//") == 0)
        return false;
    if (HasControlByte(path) || path.find('\\') != std::string::npos || !IsValidUTF8(path))
        return false;
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view part = std::string_view(path).substr(start, end - start);
        if (part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

// A chunked chart is opened through its single-file name.
std::string ChartFileName(const std::string& path)
{
    const std::string extension = LowerExtension(path);
    if (extension == "rl3" || extension == "rld")
        return path.substr(0, path.size() - 3) + "rlt";
    return path;
}

} // namespace

bool PercentDecode(std::string_view text, std::string& out)
{
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

bool ParseLinkCommand(std::string_view link, CLinkCommand& out)
{
    out = CLinkCommand();
    if (link.substr(0, kScheme.size()) != kScheme || HasControlByte(link))
        return false;
    std::string_view rest = link.substr(kScheme.size());
    const size_t hash = rest.find('#');
    if (hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    const size_t question = rest.find('?');
    std::string_view query;
    if (question != std::string_view::npos) {
        query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }
    std::string_view host;
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        host = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
    }
    out.verb = CleanLinkVerb(rest.empty() || rest == "/" ? host : rest);
    out.argument = std::string(query);
    return true;
}

bool HasURLScheme(std::string_view text)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (char c : text.substr(0, colon))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

std::string CleanLinkVerb(std::string_view verb)
{
    const size_t separator = verb.find_last_of("/\\:");
    if (separator != std::string_view::npos)
        verb.remove_prefix(separator + 1);
    const size_t dot = verb.rfind('.');
    if (dot != std::string_view::npos)
        verb = verb.substr(0, dot);
    return ToLower(verb);
}

std::vector<CLinkPair> ParseLinkPairs(std::string_view query)
{
    std::vector<CLinkPair> pairs;
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view pair = query.substr(start, end - start);
        start = end + 1;
        const size_t equals = pair.find('=');
        if (equals == std::string_view::npos)
            continue;
        CLinkPair decoded;
        if (!DecodeQueryPart(Trim(pair.substr(0, equals)), decoded.key) ||
            !DecodeQueryPart(Trim(pair.substr(equals + 1)), decoded.value))
            continue;
        // Blanks that were encoded count as blanks too.
        decoded.key = std::string(Trim(decoded.key));
        decoded.value = std::string(Trim(decoded.value));
        if (decoded.key.empty() || decoded.value.empty() || HasControlByte(decoded.key) ||
            HasControlByte(decoded.value) || !IsValidUTF8(decoded.key) || !IsValidUTF8(decoded.value))
            continue;
        pairs.push_back(std::move(decoded));
    }
    return pairs;
}

const std::string* FindLinkValue(const std::vector<CLinkPair>& pairs, std::string_view key)
{
    for (const CLinkPair& pair : pairs)
        if (pair.key == key)
            return &pair.value;
    return nullptr;
}

bool LinkPosition(const std::vector<CLinkPair>& pairs, double& latitude, double& longitude, double& scale)
{
    double lat = 0, lon = 0;
    if (!LinkNumber(pairs, "lat", lat) || !LinkNumber(pairs, "lon", lon))
        return false;
    if (lat < -90 || lat > 90 || lon < -180 || lon > 180)
        return false;
    latitude = lat;
    longitude = lon;
    if (!LinkNumber(pairs, "scale", scale) || !(scale > 0))
        scale = 0;
    return true;
}

std::string LinkMarkName(const std::vector<CLinkPair>& pairs)
{
    const std::string* name = FindLinkValue(pairs, "name");
    // A link's name holds valid UTF-8 without control characters, as imported names do.
    const std::string clean = name ? CleanImportedText(*name) : std::string();
    return name ? CutAtCharacter(clean, kMaxLinkNameBytes) : std::string("Mark");
}

bool IsInsideFolder(const std::string& path, const std::string& folder)
{
    if (folder.empty() || path.size() <= folder.size() + 1)
        return false;
    return path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

bool PlanOpen(std::string_view argument, const std::string& mvtFolder, const std::string& downloadsFolder,
              COpenPlan& plan)
{
    plan = COpenPlan();
    if (argument.find("://") == std::string_view::npos) {
        // A local file: an absolute path, never written to.
        std::string path;
        if (!PercentDecode(argument, path) || path.empty() || path[0] != '/' || HasControlByte(path) ||
            !IsValidUTF8(path))
            return false;
        plan.local = ChartFileName(path);
        return true;
    }
    const std::optional<CWebAddress> address = ParseWebAddress(argument);
    if (!address)
        return false;
    // An encoded separator would become one only on the server.
    const std::string lowered = ToLower(address->path);
    if (lowered.find("%2f") != std::string::npos || lowered.find("%5c") != std::string::npos)
        return false;
    std::string path;
    if (!PercentDecode(address->path, path) || !IsSafeRemotePath(path))
        return false;
    path = ChartFileName(path);
    plan.remote = true;
    plan.secure = address->secure;
    plan.host = address->host;
    plan.port = address->port;
    plan.remotePath = path;
    const size_t mvt = path.find("/MVT/");
    if (!mvtFolder.empty() && mvt != std::string::npos) {
        if (!MapStoreLocalPath(mvtFolder, path.substr(mvt + 1), plan.local))
            return false;
        return IsInsideFolder(plan.local, mvtFolder);
    }
    const std::string name = PathFileName(path);
    if (downloadsFolder.empty() || !IsPlainFileName(name))
        return false;
    plan.local = downloadsFolder + "/" + name;
    return IsInsideFolder(plan.local, downloadsFolder);
}

std::string LowerExtension(std::string_view path)
{
    const size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : ToLower(name.substr(dot + 1));
}

CDocumentType SniffType(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < 4)
        return CDocumentType::None;
    const uint32_t word = chartfile::Le32(bytes);
    if (bytes[0] == '<')
        return CDocumentType::Gpx;
    if (chartfile::MagicOK(word))
        return CDocumentType::Chart;
    if (word == kPackageTag)
        return CDocumentType::Package;
    // The chunked object files share one magic; a layout's first chunk
    // (marker 0xBE, then its length) starts with the layout's tag.
    if (word == CSerialStream::kMagic && size >= kSniffBytes && bytes[4] == 0xBE &&
        chartfile::Le32(bytes + 9) == CLayoutDocument::kHeaderTag)
        return CDocumentType::Layout;
    return CDocumentType::None;
}

CDocumentType TypeFromExtension(std::string_view extension)
{
    const std::string lower = ToLower(extension);
    if (lower == "gpx")
        return CDocumentType::Gpx;
    if (lower == "rlt")
        return CDocumentType::Chart;
    if (lower == "tspkg")
        return CDocumentType::Package;
    if (lower == "dvtf")
        return CDocumentType::Layout;
    return CDocumentType::None;
}
