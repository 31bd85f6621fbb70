#include "foundation/util/TextEncoding.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// 0x80 to 0x9F of Windows-1252; the five unassigned bytes have no character.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC,       kReplacement, 0x201A, 0x0192, 0x201E, 0x2026,       0x2020, 0x2021,
    0x02C6,       0x2030,       0x0160, 0x2039, 0x0152, kReplacement, 0x017D, kReplacement,
    kReplacement, 0x2018,       0x2019, 0x201C, 0x201D, 0x2022,       0x2013, 0x2014,
    0x02DC,       0x2122,       0x0161, 0x203A, 0x0153, kReplacement, 0x017E, 0x0178};

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool OneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (std::string_view candidate : names) {
        if (candidate.size() != name.size())
            continue;
        size_t i = 0;
        while (i < name.size() && Lower(name[i]) == candidate[i])
            ++i;
        if (i == name.size())
            return true;
    }
    return false;
}

// The "encoding" value of an XML declaration at the start of `bytes`; empty
// when there is none.
std::string_view DeclaredEncoding(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size() && IsSpace(bytes[i]))
        ++i;
    if (bytes.substr(i, 5) != "<?xml")
        return {};
    // A declaration is short; a missing "?>" must not make us scan the file.
    std::string_view declaration = bytes.substr(i, 1024);
    size_t end = declaration.find("?>");
    if (end == std::string_view::npos)
        return {};
    declaration = declaration.substr(0, end);
    size_t at = declaration.find("encoding");
    if (at == std::string_view::npos)
        return {};
    at += 8;
    while (at < declaration.size() && IsSpace(declaration[at]))
        ++at;
    if (at >= declaration.size() || declaration[at] != '=')
        return {};
    ++at;
    while (at < declaration.size() && IsSpace(declaration[at]))
        ++at;
    if (at >= declaration.size() || (declaration[at] != '"' && declaration[at] != '\''))
        return {};
    const char quote = declaration[at++];
    size_t close = declaration.find(quote, at);
    if (close == std::string_view::npos)
        return {};
    return declaration.substr(at, close - at);
}

void UTF16ToUTF8(std::string_view bytes, bool bigEndian, std::string& out)
{
    out.clear();
    out.reserve(bytes.size() + bytes.size() / 2);
    const size_t units = bytes.size() / 2;
    auto unit = [&](size_t k) {
        const auto a = static_cast<uint8_t>(bytes[2 * k]), b = static_cast<uint8_t>(bytes[2 * k + 1]);
        return bigEndian ? uint32_t(a) << 8 | b : uint32_t(b) << 8 | a;
    };
    for (size_t k = 0; k < units; ++k) {
        uint32_t cp = unit(k);
        if (cp >= 0xD800 && cp <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unit(++k) - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = kReplacement;
        AppendUTF8(out, cp);
    }
}

void SingleByteToUTF8(std::string_view bytes, bool windows1252, std::string& out)
{
    out.clear();
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80)
            out += c;
        else if (windows1252 && b < 0xA0)
            AppendUTF8(out, kWindows1252High[b - 0x80]);
        else
            AppendUTF8(out, b);
    }
}

} // namespace

void AppendUTF8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

CXmlTextEncoding DetectXmlTextEncoding(std::string_view bytes)
{
    CXmlTextEncoding result;
    auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) {
        result.markBytes = 3;
        return result;
    }
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) {
        result.encoding = bytes[0] == '\xFF' ? EXmlTextEncoding::kUTF16LE : EXmlTextEncoding::kUTF16BE;
        result.markBytes = 2;
        return result;
    }
    if (starts(std::string_view("<\0", 2)) || starts(std::string_view("\0<", 2))) {
        result.encoding = EXmlTextEncoding::kUnknown;
        result.declared = "UTF-16 without a byte-order mark";
        return result;
    }
    const std::string_view name = DeclaredEncoding(bytes);
    result.declared = std::string(name);
    if (name.empty() || OneOf(name, {"utf-8", "utf8", "us-ascii", "ascii"}))
        result.encoding = EXmlTextEncoding::kUTF8;
    else if (OneOf(name, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1"}))
        result.encoding = EXmlTextEncoding::kLatin1;
    else if (OneOf(name, {"windows-1252", "cp1252", "x-cp1252"}))
        result.encoding = EXmlTextEncoding::kWindows1252;
    else
        result.encoding = EXmlTextEncoding::kUnknown;
    return result;
}

bool XmlBytesToUTF8(std::string_view bytes, const CXmlTextEncoding& encoding, std::string& storage,
                    std::string_view& text)
{
    const std::string_view body = bytes.substr(std::min(encoding.markBytes, bytes.size()));
    switch (encoding.encoding) {
    case EXmlTextEncoding::kUTF8:
        text = body;
        return true;
    case EXmlTextEncoding::kUTF16LE:
    case EXmlTextEncoding::kUTF16BE:
        UTF16ToUTF8(body, encoding.encoding == EXmlTextEncoding::kUTF16BE, storage);
        break;
    case EXmlTextEncoding::kLatin1:
    case EXmlTextEncoding::kWindows1252:
        SingleByteToUTF8(body, encoding.encoding == EXmlTextEncoding::kWindows1252, storage);
        break;
    case EXmlTextEncoding::kUnknown:
        text = {};
        return false;
    }
    text = storage;
    return true;
}
