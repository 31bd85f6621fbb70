// The XML reader takes whole files from other programs and network replies:
// whatever the bytes, it must not crash, recurse without bound or break the
// promises its lookups make.
#include "foundation/util/TextEncoding.h"
#include "foundation/util/Xml.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // Conversion to UTF-8 at most triples the bytes (a UTF-16 unit or a
    // Windows-1252 byte gives three).
    std::string converted;
    std::string_view utf8;
    if (XmlBytesToUTF8(text, DetectXmlTextEncoding(text), converted, utf8) && utf8.size() > size * 3)
        std::abort();
    bool complete = false;
    std::unique_ptr<CXmlNode> root = CXmlNode::LoadText(text, {}, complete);
    if (complete && !root)
        std::abort();
    if (!root)
        return 0;
    if (!root->element || root->name.empty())
        std::abort();

    CXmlNode::Rewind(root.get());
    size_t found = 0;
    while (CXmlNode* node = CXmlNode::FindNextElement(root.get(), "wpt")) {
        if (++found > size)
            std::abort(); // every match is a distinct element of the input
        (void)CXmlNode::GetAttributeDouble(node, "lat", 0);
        (void)CXmlNode::GetAttributeInt(node, "lon", 0);
        std::string name;
        CXmlNode::GetChildText(node, "name", name);
        double d = 0;
        CXmlNode::GetChildDouble(node, "ele", d);
        uint32_t u = 0;
        CXmlNode::GetChildInt(node, "n", u);
        (void)ParseXmlTime(name);
    }
    size_t cursor = 0;
    while (CXmlNode::FindNextChild(root.get(), "trk", cursor))
        if (cursor > root->ChildCount())
            std::abort();
    std::string all;
    CXmlNode::AppendText(root.get(), all);
    if (all.size() > size * 4 + 4)
        std::abort(); // decoding never grows a text beyond its UTF-8 form

    // What the writer cleans reads back unchanged.
    std::string clean = XmlCleanText(text.substr(0, 2000));
    if (XmlCleanText(clean) != clean)
        std::abort();
    if (!FormatXmlTime(ParseXmlTime(text)).empty() && ParseXmlTime(text) != 0.0 &&
        ParseXmlTime(FormatXmlTime(ParseXmlTime(text))) != ParseXmlTime(text))
        std::abort();
    return 0;
}
