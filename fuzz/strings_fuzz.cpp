// The string helpers that take text from outside (server listings, URL
// commands, file names, stored lists): none may crash, read out of bounds or
// break its own promises, whatever the bytes.
#include "foundation/util/Files.h"
#include "foundation/util/FormatString.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "foundation/util/TimeText.h"

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t split = text.find('\n');
    std::string a = split == std::string::npos ? text : text.substr(0, split);
    std::string b = split == std::string::npos ? std::string() : text.substr(split + 1);

    // Comparisons must be antisymmetric and reflexive, or sorting breaks.
    int ab = CompareNatural(a, b), ba = CompareNatural(b, a);
    if (ab != -ba || CompareNatural(a, a) != 0)
        std::abort();
    if (CompareNoCase(a, b) != -CompareNoCase(b, a))
        std::abort();

    std::string scheme, host, rest;
    if (SplitURL(text, scheme, host, rest) && host.find('/') != std::string::npos)
        std::abort();

    std::string safe = MakeSafeFileName(text);
    if (safe.empty() || safe.size() > 25 || !IsPlainFileName(safe) || safe[0] == '.')
        std::abort();

    std::string utf8 = Latin1ToUTF8(text);
    if (!IsValidUTF8(utf8))
        std::abort();
    (void)MakeNSString(text);

    std::string list = a;
    AppendToCommaList(list, b);
    AppendToCommaList(list, b);
    (void)ParseDateNumber(text);
    (void)MatchFileNamePattern(a, b);

    (void)PathDirectory(text);
    (void)PathBaseName(text);
    (void)PathExtension(text);
    (void)ForeignPathDirectory(text);
    (void)ForeignPathFileName(text);

    // A cut never leaves a broken character behind valid text.
    std::string out;
    FormatString(out, "%s", text.c_str());
    if (out.size() > kFormatStringLimit)
        std::abort();
    if (IsValidUTF8(text.c_str()) && !IsValidUTF8(out))
        std::abort();
    return 0;
}
