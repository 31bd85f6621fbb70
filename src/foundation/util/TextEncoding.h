#pragma once
// Bytes of an XML file brought to UTF-8 before the reader sees them: the
// reader works on UTF-8 only, and files written elsewhere come in UTF-16 or
// in the Latin code pages. Plain C++ only.
#include <cstdint>
#include <string>
#include <string_view>

enum class EXmlTextEncoding {
    kUTF8,
    kUTF16LE,
    kUTF16BE,
    kLatin1,
    kWindows1252,
    kUnknown, // a declared encoding we cannot read
};

struct CXmlTextEncoding
{
    EXmlTextEncoding encoding = EXmlTextEncoding::kUTF8;
    size_t markBytes = 0; // the byte-order mark to skip
    std::string declared; // the name in the XML declaration, as written
};

// A byte-order mark decides (UTF-8, UTF-16 LE or BE); without one, the
// "encoding" of the XML declaration; without that, UTF-8. UTF-16 without a
// mark is refused with the declared name "UTF-16 without a byte-order mark".
CXmlTextEncoding DetectXmlTextEncoding(std::string_view bytes);

// The text of `bytes` as UTF-8. UTF-8 needs no copy: `text` then views
// `bytes` past the mark and `storage` is left alone; otherwise `storage`
// receives the converted text and `text` views it. Unpaired UTF-16
// surrogates, and Windows-1252 bytes without a character, become U+FFFD; an
// odd last byte of UTF-16 is dropped. False for kUnknown.
bool XmlBytesToUTF8(std::string_view bytes, const CXmlTextEncoding& encoding, std::string& storage,
                    std::string_view& text);

// Appends the UTF-8 bytes of the code point `cp`.
void AppendUTF8(std::string& out, uint32_t cp);
