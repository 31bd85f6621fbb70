#pragma once
// A small forgiving XML reader and the helpers that write GPX. The reader
// never validates: element and attribute names compare without letter case,
// namespace prefixes are dropped, unclosed elements end at their parent's end
// tag, and malformed input gives whatever tree could be read. Plain C++ only.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CXmlNode;
// Called with each element as it is complete (its end tag read, closed by an
// enclosing end tag, or empty) and the element it belongs to; true takes the
// element out of the tree. Large files are read this way without keeping a
// node for every one of their repeated elements.
using CXmlCompleteSink = std::function<bool(const CXmlNode& parent, const CXmlNode& element)>;
// Called now and then with the bytes read so far; false stops the reading
// (the text then counts as not complete).
using CXmlProgressSink = std::function<bool(size_t bytesRead)>;

class CXmlNode
{
public:
    CXmlNode() = default;
    ~CXmlNode(); // iterative, so a deep tree cannot overflow the stack
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    std::string name;     // element name, or the text of a text node
    bool element = false; // false for text nodes and CDATA sections
    size_t cursor = 0;    // position of FindNextElement in this node
    // A text or the attribute text of this element was over kMaxXmlText and
    // left out.
    bool cut = false;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<std::unique_ptr<CXmlNode>> children;

    size_t ChildCount() const { return children.size(); }

    // The first element of the file (comments, processing instructions,
    // DOCTYPE, a byte-order mark and stray text before it are skipped); null
    // when the file cannot be read or holds no element.
    static std::unique_ptr<CXmlNode> LoadFile(const std::string& path);
    static std::unique_ptr<CXmlNode> LoadText(std::string_view text, const CXmlCompleteSink& sink = {});
    // `complete` tells whether the first element closed before the text
    // ended; a file cut short still gives the tree read so far.
    static std::unique_ptr<CXmlNode> LoadText(std::string_view text, const CXmlCompleteSink& sink,
                                              bool& complete, const CXmlProgressSink& progress = {});

    // All lookups accept a null node and then find nothing.
    static CXmlNode* FindChild(const CXmlNode* node, std::string_view name);
    // Searches the children from index `cursor` on; the cursor moves past the
    // child returned.
    static CXmlNode* FindNextChild(const CXmlNode* node, std::string_view name, size_t& cursor);
    // Depth-first search in document order, the node itself first; each call
    // returns the next match. Rewind starts a new search.
    static void Rewind(CXmlNode* node);
    static CXmlNode* FindNextElement(CXmlNode* node, std::string_view name);

    static const char* GetAttribute(const CXmlNode* node, std::string_view name);
    static double GetAttributeDouble(const CXmlNode* node, std::string_view name, double fallback);
    static int GetAttributeInt(const CXmlNode* node, std::string_view name, int fallback);

    // Appends the text of every text node of the subtree in document order.
    static void AppendText(const CXmlNode* node, std::string& out);
    // The child getters leave `out` unchanged and return false when the child is absent.
    static bool GetChildText(const CXmlNode* node, std::string_view name, std::string& out);
    static bool GetChildDouble(const CXmlNode* node, std::string_view name, double& out);
    static bool GetChildFloat(const CXmlNode* node, std::string_view name, float& out);
    static bool GetChildInt(const CXmlNode* node, std::string_view name, uint32_t& out);
    static bool GetChildShort(const CXmlNode* node, std::string_view name, uint16_t& out);
};

// Elements nested deeper than this are added to the deepest open element.
constexpr size_t kMaxXmlDepth = 512;
// Names, texts and attribute texts longer than this are read as empty.
constexpr size_t kMaxXmlText = 100000;

// Forgiving number reading in the manner of atof and atoi (leading number,
// rest ignored, 0 when there is none), but without regard to the locale.
double XmlTextToDouble(std::string_view text);
int64_t XmlTextToInt(std::string_view text);

// "<name>text</name>\n", or a CDATA section when the text holds < > & or a
// line feed. Characters XML cannot hold are dropped, invalid UTF-8 becomes
// U+FFFD. A null text writes nothing. False when the write failed.
bool WriteXmlElement(FILE* file, const char* name, const char* text);
bool WriteXmlElement(FILE* file, const char* name, const std::string& text);
// The text with control characters other than tab, LF and CR dropped and
// invalid UTF-8 replaced by U+FFFD.
std::string XmlCleanText(std::string_view text);
// Inserts "amp;" after every '&'.
std::string XmlEscapeAmpersands(std::string_view text);
// Replaces every "&amp;" by '&'.
std::string XmlUnescapeAmpersands(std::string_view text);
// A cleaned attribute value with & < > and '"' escaped.
std::string XmlEscapeAttribute(std::string_view text);
// The five predefined entities and numeric character references decoded;
// anything else stays as it stands.
std::string XmlDecodeEntities(std::string_view text);

// "YYYY-MM-DDThh:mm:ss" with an optional fraction (ignored) and an optional
// "Z", "+hh:mm" or "-hh:mm"; seconds since 1970 in UTC, 0.0 when a field is
// missing or out of range.
double ParseXmlTime(std::string_view text);
// "YYYY-MM-DDThh:mm:ssZ" of the UTC time, seconds truncated; "" when the time
// is not finite or outside the years 1 to 9999.
std::string FormatXmlTime(double seconds);
