#include "foundation/util/Xml.h"

#include "foundation/NumberText.h"
#include "foundation/util/Files.h"
#include "foundation/util/TextEncoding.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(const char* p, const char* end, std::string_view prefix)
{
    return static_cast<size_t>(end - p) >= prefix.size() &&
           EqualNoCase(std::string_view(p, prefix.size()), prefix);
}

const char* Find(const char* p, const char* end, std::string_view what)
{
    const char* hit = std::search(p, end, what.begin(), what.end());
    return hit;
}

std::string_view DropPrefix(std::string_view name)
{
    size_t colon = name.rfind(':');
    if (colon != std::string_view::npos && colon + 1 < name.size())
        name.remove_prefix(colon + 1);
    return name;
}

// Tokens of an attribute text: blanks separate, '=' stands alone, a quoted
// run is one token without its quotes.
void ParseAttributes(std::string_view text, std::vector<std::pair<std::string, std::string>>& out)
{
    struct Token
    {
        std::string_view text;
        bool equals;
    };
    std::vector<Token> tokens;
    size_t i = 0, n = text.size();
    while (i < n) {
        char c = text[i];
        if (IsXmlSpace(c)) {
            ++i;
        } else if (c == '=') {
            tokens.push_back({text.substr(i, 1), true});
            ++i;
        } else if (c == '"' || c == '\'') {
            size_t close = text.find(c, i + 1);
            if (close == std::string_view::npos)
                close = n;
            tokens.push_back({text.substr(i + 1, close - i - 1), false});
            i = close + 1;
        } else {
            size_t start = i;
            while (i < n && !IsXmlSpace(text[i]) && text[i] != '=' && text[i] != '"' && text[i] != '\'')
                ++i;
            tokens.push_back({text.substr(start, i - start), false});
        }
    }
    for (size_t k = 0; k < tokens.size();) {
        if (tokens[k].equals) {
            ++k;
            continue;
        }
        std::string_view attr_name = tokens[k].text;
        std::string_view value;
        ++k;
        if (k < tokens.size() && tokens[k].equals) {
            ++k;
            if (k < tokens.size() && !tokens[k].equals)
                value = tokens[k++].text;
        }
        if (!attr_name.empty())
            out.emplace_back(std::string(attr_name), XmlDecodeEntities(value));
    }
}

class CParser
{
public:
    CParser(const char* begin, const char* end, const CXmlCompleteSink& sink,
            const CXmlProgressSink& progress)
        : p(begin), m_begin(begin), m_end(end), m_sink(sink), m_progress(progress)
    {
    }

    std::unique_ptr<CXmlNode> Run()
    {
        std::unique_ptr<CXmlNode> root;
        std::vector<CXmlNode*> open;
        while (p < m_end) {
            if (m_progress && p >= m_nextReport) {
                if (!m_progress(static_cast<size_t>(p - m_begin)))
                    return root;
                m_nextReport = p + std::min<size_t>(kReportBytes, static_cast<size_t>(m_end - p));
            }
            if (*p != '<') {
                const char* lt =
                    static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(m_end - p)));
                if (!lt)
                    lt = m_end;
                if (!open.empty())
                    AddText(open.back(), p, lt, true);
                p = lt;
                continue;
            }
            if (StartsWithNoCase(p, m_end, "<!--")) {
                const char* close = Find(p + 4, m_end, "-->");
                p = close == m_end ? m_end : close + 3;
            } else if (StartsWithNoCase(p, m_end, "<?")) {
                const char* close = Find(p + 2, m_end, "?>");
                p = close == m_end ? m_end : close + 2;
            } else if (StartsWithNoCase(p, m_end, "<![CDATA[")) {
                const char* start = p + 9;
                const char* close = Find(start, m_end, "]]>");
                if (!open.empty())
                    AddText(open.back(), start, close, false);
                p = close == m_end ? m_end : close + 3;
            } else if (StartsWithNoCase(p, m_end, "<!")) {
                SkipDeclaration();
            } else if (StartsWithNoCase(p, m_end, "</")) {
                std::string_view closing = ReadClosingTag();
                // Unclosed elements end at an enclosing element's end tag; an
                // end tag that matches no open element is ignored.
                for (size_t k = open.size(); k-- > 0;) {
                    if (EqualNoCase(open[k]->name, closing)) {
                        // Innermost first: each is then its parent's last child.
                        for (size_t j = open.size(); j-- > std::max<size_t>(k, 1);)
                            Complete(open[j - 1], open[j]);
                        open.resize(k);
                        break;
                    }
                }
                if (root && open.empty()) {
                    m_complete = !m_tagCut;
                    return root;
                }
            } else {
                bool empty = false;
                std::unique_ptr<CXmlNode> node = ReadStartTag(empty);
                if (!node)
                    continue;
                CXmlNode* raw = node.get();
                if (!root) {
                    root = std::move(node);
                    if (empty) {
                        m_complete = !m_tagCut;
                        return root;
                    }
                    open.push_back(raw);
                    continue;
                }
                if (open.empty())
                    return root;
                open.back()->children.push_back(std::move(node));
                if (!empty && open.size() < kMaxXmlDepth)
                    open.push_back(raw);
                else
                    Complete(open.back(), raw);
            }
        }
        return root;
    }

    // The first element's end was reached before the text ended.
    bool ReachedEnd() const { return m_complete; }

private:
    // `element` is the last child of `parent`.
    void Complete(CXmlNode* parent, const CXmlNode* element)
    {
        if (m_sink && !parent->children.empty() && parent->children.back().get() == element &&
            m_sink(*parent, *element))
            parent->children.pop_back();
    }

    static void AddText(CXmlNode* parent, const char* start, const char* end, bool decode)
    {
        if (decode)
            while (start < end && IsXmlSpace(*start))
                ++start;
        size_t size = static_cast<size_t>(end - start);
        if (size > kMaxXmlText)
            parent->cut = true;
        if (size == 0 || size > kMaxXmlText)
            return;
        auto text = std::make_unique<CXmlNode>();
        text->name = decode ? XmlDecodeEntities(std::string_view(start, size)) : std::string(start, size);
        parent->children.push_back(std::move(text));
    }

    // <!DOCTYPE …> and other declarations, with an internal subset in brackets.
    void SkipDeclaration()
    {
        int depth = 0;
        for (p += 2; p < m_end; ++p) {
            if (*p == '[')
                ++depth;
            else if (*p == ']' && depth > 0)
                --depth;
            else if (*p == '>' && depth == 0) {
                ++p;
                return;
            }
        }
    }

    std::string_view ReadClosingTag()
    {
        p += 2;
        while (p < m_end && IsXmlSpace(*p))
            ++p;
        const char* start = p;
        while (p < m_end && !IsXmlSpace(*p) && *p != '>' && *p != '<')
            ++p;
        std::string_view closing(start, static_cast<size_t>(p - start));
        while (p < m_end && *p != '>' && *p != '<')
            ++p;
        if (p < m_end && *p == '>')
            ++p;
        else if (p >= m_end)
            m_tagCut = true;
        return DropPrefix(closing);
    }

    std::unique_ptr<CXmlNode> ReadStartTag(bool& empty)
    {
        ++p;
        while (p < m_end && IsXmlSpace(*p))
            ++p;
        const char* name_start = p;
        while (p < m_end && !IsXmlSpace(*p) && *p != '[' && *p != '<' && *p != '>')
            ++p;
        std::string_view name(name_start, static_cast<size_t>(p - name_start));
        const char* attr_start = p;
        if (!name.empty() && name.back() == '/') {
            name.remove_suffix(1);
            attr_start = p - 1;
        }
        char quote = 0;
        while (p < m_end) {
            char c = *p;
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
            ++p;
        }
        std::string_view attr_text(attr_start, static_cast<size_t>(p - attr_start));
        if (!attr_text.empty() && attr_text.back() == '/') {
            empty = true;
            attr_text.remove_suffix(1);
        }
        // Cut after the '/' is seen: an empty element stays empty.
        const bool cut = attr_text.size() > kMaxXmlText;
        if (cut)
            attr_text = {};
        if (p < m_end) {
            ++p; // '>'
        } else {
            empty = true;
            m_tagCut = true;
        }
        if (name.size() > kMaxXmlText)
            name = {};
        name = DropPrefix(name);
        if (name.empty())
            return nullptr;
        auto node = std::make_unique<CXmlNode>();
        node->name.assign(name);
        node->element = true;
        node->cut = cut;
        ParseAttributes(attr_text, node->attributes);
        return node;
    }

    static constexpr size_t kReportBytes = size_t(1) << 20;

    const char* p;
    const char* m_begin;
    const char* m_end;
    const char* m_nextReport = nullptr;
    const CXmlCompleteSink& m_sink;
    const CXmlProgressSink& m_progress;
    bool m_complete = false;
    bool m_tagCut = false; // the text ended inside a tag
};

bool IsLeapYear(int64_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : days[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

// Up to `max_digits` decimal digits; false when there is none.
bool ReadNumber(std::string_view text, size_t& i, int max_digits, int64_t& value)
{
    value = 0;
    int digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (++digits > max_digits)
            return false;
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return digits > 0;
}

bool Expect(std::string_view text, size_t& i, char c)
{
    if (i < text.size() && text[i] == c) {
        ++i;
        return true;
    }
    return false;
}

} // namespace

CXmlNode::~CXmlNode()
{
    std::vector<std::unique_ptr<CXmlNode>> pending = std::move(children);
    while (!pending.empty()) {
        std::unique_ptr<CXmlNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->children)
            pending.push_back(std::move(child));
        node->children.clear();
    }
}

std::unique_ptr<CXmlNode> CXmlNode::LoadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (!ReadFileToBuffer(path, bytes))
        return nullptr;
    return LoadText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::unique_ptr<CXmlNode> CXmlNode::LoadText(std::string_view text, const CXmlCompleteSink& sink)
{
    bool complete = false;
    return LoadText(text, sink, complete);
}

std::unique_ptr<CXmlNode> CXmlNode::LoadText(std::string_view text, const CXmlCompleteSink& sink,
                                             bool& complete, const CXmlProgressSink& progress)
{
    CParser parser(text.data(), text.data() + text.size(), sink, progress);
    std::unique_ptr<CXmlNode> root = parser.Run();
    complete = root && parser.ReachedEnd();
    return root;
}

CXmlNode* CXmlNode::FindChild(const CXmlNode* node, std::string_view name)
{
    size_t cursor = 0;
    return FindNextChild(node, name, cursor);
}

CXmlNode* CXmlNode::FindNextChild(const CXmlNode* node, std::string_view name, size_t& cursor)
{
    if (!node)
        return nullptr;
    for (size_t i = cursor; i < node->children.size(); ++i) {
        CXmlNode* child = node->children[i].get();
        if (child->element && EqualNoCase(child->name, name)) {
            cursor = i + 1;
            return child;
        }
    }
    cursor = node->children.size();
    return nullptr;
}

void CXmlNode::Rewind(CXmlNode* node)
{
    if (node)
        node->cursor = 0;
}

CXmlNode* CXmlNode::FindNextElement(CXmlNode* node, std::string_view name)
{
    if (!node)
        return nullptr;
    // A cursor of 0 means the node itself is next; k > 0 means child k-1 is
    // being searched. A child's cursor is reset when its parent reaches it,
    // so Rewind touches only the root.
    std::vector<CXmlNode*> path{node};
    while (!path.empty()) {
        CXmlNode* n = path.back();
        if (n->cursor == 0) {
            n->cursor = 1;
            if (!n->children.empty())
                n->children[0]->cursor = 0;
            if (n->element && EqualNoCase(n->name, name))
                return n;
            continue;
        }
        size_t index = n->cursor - 1;
        if (index < n->children.size()) {
            path.push_back(n->children[index].get());
            continue;
        }
        path.pop_back();
        if (!path.empty()) {
            CXmlNode* parent = path.back();
            ++parent->cursor;
            if (parent->cursor - 1 < parent->children.size())
                parent->children[parent->cursor - 1]->cursor = 0;
        }
    }
    return nullptr;
}

const char* CXmlNode::GetAttribute(const CXmlNode* node, std::string_view name)
{
    if (!node)
        return nullptr;
    for (const auto& [key, value] : node->attributes)
        if (EqualNoCase(key, name))
            return value.c_str();
    return nullptr;
}

double CXmlNode::GetAttributeDouble(const CXmlNode* node, std::string_view name, double fallback)
{
    const char* value = GetAttribute(node, name);
    return value ? XmlTextToDouble(value) : fallback;
}

int CXmlNode::GetAttributeInt(const CXmlNode* node, std::string_view name, int fallback)
{
    const char* value = GetAttribute(node, name);
    if (!value)
        return fallback;
    return static_cast<int>(std::clamp<int64_t>(XmlTextToInt(value), INT_MIN, INT_MAX));
}

void CXmlNode::AppendText(const CXmlNode* node, std::string& out)
{
    if (!node)
        return;
    std::vector<const CXmlNode*> pending{node};
    while (!pending.empty()) {
        const CXmlNode* n = pending.back();
        pending.pop_back();
        if (!n->element) {
            out += n->name;
            continue;
        }
        for (size_t i = n->children.size(); i-- > 0;)
            pending.push_back(n->children[i].get());
    }
}

bool CXmlNode::GetChildText(const CXmlNode* node, std::string_view name, std::string& out)
{
    const CXmlNode* child = FindChild(node, name);
    if (!child)
        return false;
    out.clear();
    AppendText(child, out);
    return true;
}

bool CXmlNode::GetChildDouble(const CXmlNode* node, std::string_view name, double& out)
{
    std::string text;
    if (!GetChildText(node, name, text))
        return false;
    out = XmlTextToDouble(text);
    return true;
}

bool CXmlNode::GetChildFloat(const CXmlNode* node, std::string_view name, float& out)
{
    double value = 0;
    if (!GetChildDouble(node, name, value))
        return false;
    out = static_cast<float>(value);
    return true;
}

bool CXmlNode::GetChildInt(const CXmlNode* node, std::string_view name, uint32_t& out)
{
    std::string text;
    if (!GetChildText(node, name, text))
        return false;
    out = static_cast<uint32_t>(std::clamp<int64_t>(XmlTextToInt(text), INT_MIN, INT_MAX));
    return true;
}

bool CXmlNode::GetChildShort(const CXmlNode* node, std::string_view name, uint16_t& out)
{
    std::string text;
    if (!GetChildText(node, name, text))
        return false;
    out = static_cast<uint16_t>(std::clamp<int64_t>(XmlTextToInt(text), INT_MIN, INT_MAX));
    return true;
}

double XmlTextToDouble(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsXmlSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    // Only a decimal number: "inf", "nan" and hex floats read as 0.
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.'))
        return 0.0;
    double value = 0;
    auto [ptr, ec] =
        std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // strtod tells a tiny number (read as 0 or a denormal) from a huge one
        // (infinity, which the caller's range check refuses).
        const std::string number(text.data() + i, ptr);
        CCLocaleScope c_locale;
        value = std::strtod(number.c_str(), nullptr);
    } else if (ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

int64_t XmlTextToInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsXmlSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (INT64_MAX - 9) / 10)
            return negative ? INT64_MIN : INT64_MAX;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

std::string XmlCleanText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    size_t i = 0, n = text.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        size_t len = 0;
        uint32_t cp = 0, min = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, min = 0x10000;
        }
        bool valid = len > 0 && n - i >= len;
        for (size_t k = 1; valid && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (valid && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (cp != 0xFFFE && cp != 0xFFFF)
            out.append(text.substr(i, len));
        i += len;
    }
    return out;
}

bool WriteXmlElement(FILE* file, const char* name, const char* text)
{
    if (!text)
        return true;
    return WriteXmlElement(file, name, std::string(text));
}

bool WriteXmlElement(FILE* file, const char* name, const std::string& text)
{
    if (!file)
        return false;
    std::string clean = XmlCleanText(text);
    bool cdata = clean.find_first_of("<>&\n") != std::string::npos;
    std::string out;
    out.reserve(clean.size() + 2 * std::strlen(name) + 20);
    out += '<';
    out += name;
    out += '>';
    if (cdata) {
        out += "<![CDATA[";
        size_t start = 0;
        for (size_t hit; (hit = clean.find("]]>", start)) != std::string::npos; start = hit + 2) {
            out.append(clean, start, hit + 2 - start);
            out += "]]><![CDATA[";
        }
        out.append(clean, start, std::string::npos);
        out += "]]>";
    } else {
        out += clean;
    }
    out += "</";
    out += name;
    out += ">\n";
    return std::fwrite(out.data(), 1, out.size(), file) == out.size();
}

std::string XmlEscapeAmpersands(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&')
            out += "amp;";
    }
    return out;
}

std::string XmlUnescapeAmpersands(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '&' && text.substr(i + 1, 4) == "amp;")
            i += 4;
    }
    return out;
}

std::string XmlEscapeAttribute(std::string_view text)
{
    std::string out;
    for (char c : XmlCleanText(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string XmlDecodeEntities(std::string_view text)
{
    if (text.find('&') == std::string_view::npos)
        return std::string(text);
    static const struct
    {
        std::string_view name;
        char c;
    } named[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        std::string_view rest = text.substr(i + 1);
        bool done = false;
        for (const auto& e : named) {
            if (rest.substr(0, e.name.size()) == e.name) {
                out += e.c;
                i += 1 + e.name.size();
                done = true;
                break;
            }
        }
        if (!done && !rest.empty() && rest[0] == '#') {
            bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            size_t k = hex ? 2 : 1;
            uint32_t cp = 0;
            size_t digits = 0;
            for (; k < rest.size() && digits < 8; ++k, ++digits) {
                char c = rest[k];
                int v = c >= '0' && c <= '9'                            ? c - '0'
                        : hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10
                                                                        : -1;
                if (v < 0)
                    break;
                cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(v);
            }
            bool allowed = cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
                           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
            if (digits > 0 && k < rest.size() && rest[k] == ';' && allowed) {
                AppendUTF8(out, cp);
                i += 1 + k + 1;
                done = true;
            }
        }
        if (!done)
            out += text[i++];
    }
    return out;
}

double ParseXmlTime(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && IsXmlSpace(text[i]))
        ++i;
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadNumber(text, i, 4, year) || !Expect(text, i, '-') || !ReadNumber(text, i, 2, month) ||
        !Expect(text, i, '-') || !ReadNumber(text, i, 2, day))
        return 0.0;
    if (!(Expect(text, i, 'T') || Expect(text, i, 't')) || !ReadNumber(text, i, 2, hour) ||
        !Expect(text, i, ':') || !ReadNumber(text, i, 2, minute) || !Expect(text, i, ':') ||
        !ReadNumber(text, i, 2, second))
        return 0.0;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, static_cast<int>(month)) ||
        hour > 23 || minute > 59 || second > 60)
        return 0.0;
    if (Expect(text, i, '.'))
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
    int64_t offset = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        int sign = text[i++] == '-' ? -1 : 1;
        int64_t oh = 0, om = 0;
        if (!ReadNumber(text, i, 2, oh))
            return 0.0;
        if (Expect(text, i, ':') && !ReadNumber(text, i, 2, om))
            return 0.0;
        if (oh > 14 || om > 59)
            return 0.0;
        offset = sign * (oh * 3600 + om * 60);
    }
    int64_t days = DaysFromCivil(year, static_cast<int>(month), static_cast<int>(day));
    return static_cast<double>(days * 86400 + hour * 3600 + minute * 60 + second - offset);
}

std::string FormatXmlTime(double seconds)
{
    // Years 1 to 9999.
    if (!std::isfinite(seconds) || seconds < -62135596800.0 || seconds >= 253402300800.0)
        return std::string();
    int64_t t = static_cast<int64_t>(std::trunc(seconds));
    int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    int64_t rest = t - days * 86400;
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(year), month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                  static_cast<int>(rest % 60));
    return buffer;
}
