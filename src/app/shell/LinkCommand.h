#pragma once
// "tessro:" links and opened documents taken apart on bytes, without a
// window: the verb and its pairs, the position a link names, where an "open"
// downloads to, and a file's type from its name or its first bytes. Every
// link is untrusted: whatever comes out of here is finite, in range, free of
// control bytes, and names a local file inside the folder it belongs to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CLinkPair
{
    std::string key;
    std::string value;
};

// One command: the cleaned verb ("view", "mark", "open", "fetch", or any
// other word, which does nothing) and its argument (the raw query).
struct CLinkCommand
{
    std::string verb;
    std::string argument;
};

// A "tessro:" link: the verb is the link's path, or its host when the path is
// empty; the argument is the query. False for any other scheme (matched
// exactly) and for links holding control bytes.
bool ParseLinkCommand(std::string_view link, CLinkCommand& out);

// Whether the text begins with a URL scheme ("x-y+z:" of two or more
// characters, the first a letter) rather than being a file path.
bool HasURLScheme(std::string_view text);

// The verb's last component (after '/', '\\' or ':'), without extension, in
// lower case.
std::string CleanLinkVerb(std::string_view verb);

// "key=value" pairs joined by '&': trimmed of blanks, '+' read as a space and
// %XX as that byte. Pairs with an empty key or value, control bytes or
// invalid UTF-8 are dropped.
std::vector<CLinkPair> ParseLinkPairs(std::string_view query);
// The value of the first pair with `key`; null when there is none.
const std::string* FindLinkValue(const std::vector<CLinkPair>& pairs, std::string_view key);

// "lat" in -90..90 and "lon" in -180..180, both present, whole and finite.
// `scale` is the "scale" pair, 0 when it is missing, not finite or not positive.
bool LinkPosition(const std::vector<CLinkPair>& pairs, double& latitude, double& longitude, double& scale);
// "name", cut to 255 bytes at a character boundary; "Mark" when absent.
std::string LinkMarkName(const std::vector<CLinkPair>& pairs);
constexpr size_t kMaxLinkNameBytes = 255;

// %XX decoded (not '+'); false for a bad escape.
bool PercentDecode(std::string_view text, std::string& out);

// Where an "open" or "fetch" gets its file.
struct COpenPlan
{
    bool remote = false;
    bool secure = false;    // https
    std::string host;       // remote only
    int port = 0;           // 0: the scheme's default
    std::string remotePath; // decoded, begins with '/'
    std::string local;      // the file opened (downloaded into first when remote)
};

// Plans an open of `argument`: an absolute local path, or an http(s) address
// whose path has no "." or ".." component, backslash, NUL, control byte or
// encoded separator. A remote path with "/MVT/" maps into `mvtFolder` (when
// there is one), any other into `downloadsFolder` under its file name. A name
// ending in ".rl3" or ".rld" becomes ".rlt". False when refused; nothing is
// touched either way.
bool PlanOpen(std::string_view argument, const std::string& mvtFolder, const std::string& downloadsFolder,
              COpenPlan& plan);

// Whether `path` lies strictly inside `folder`.
bool IsInsideFolder(const std::string& path, const std::string& folder);

// The extension after the last '.' of the file name, in lower case; "" when
// there is none.
std::string LowerExtension(std::string_view path);

enum class CDocumentType { None, Gpx, Chart, Package, Layout };

// The type of a file without extension from its first bytes: '<' is GPX, the
// chart magic (bit 0 ignored), the package tag, or the chunked object magic
// with the layout's header tag. Fewer than 4 bytes match nothing.
CDocumentType SniffType(const uint8_t* bytes, size_t size);
// How many first bytes SniffType looks at.
constexpr size_t kSniffBytes = 13;
// By extension ("gpx", "rlt", "tspkg", "dvtf"); None for any other.
CDocumentType TypeFromExtension(std::string_view extension);
