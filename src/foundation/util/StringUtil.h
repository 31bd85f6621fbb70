#pragma once
// String helpers shared by every subsystem. Texts are UTF-8 byte strings;
// case changes and comparisons work per byte on ASCII letters only.
#include <cstdint>
#include <string>

class QString;

void MakeUpper(std::string& text);
void StringToLower(std::string& text);
void ClearString(std::string& text);

// Byte-wise after upper-casing each byte: -1, 0 or 1.
// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigit(char c);
int CompareNoCase(const std::string& a, const std::string& b);
// Like CompareNoCase, but runs of digits compare by their value ("2" before
// "10"), however long they are.
int CompareNatural(const std::string& a, const std::string& b);

// Appends ", " and the item (nothing before the first) unless the list
// already holds that item as a whole.
void AppendToCommaList(std::string& list, const std::string& item);

// A name safe for the file system: ASCII letters, digits and "_-.+" only, at
// most 25 of them, no leading '.'; "unnamed" when nothing is left.
std::string MakeSafeFileName(const std::string& text);

// Latin-1 bytes to UTF-8.
std::string Latin1ToUTF8(const std::string& text);
bool IsValidUTF8(const std::string& text);
// A Qt string from UTF-8 text, or from Latin-1 when the text is not valid UTF-8.
QString MakeNSString(const std::string& text);
QString MakeNSString(const char* text);

// Splits at "://": the scheme in lower case, the host up to the next '/', the
// rest from that '/' (empty when there is none). False when there is no "://".
bool SplitURL(const std::string& url, std::string& scheme, std::string& host, std::string& rest);

// "Linux".
std::string GetPlatformName();

// "%d Bytes" below 1024, else "%.1fKB", "%.1fMB" or "%.1fGB" (powers of
// 1024); "" for a negative count.
std::string FormatByteSize(int64_t bytes);
// "%.0fBytes" up to 1024, then "%.1fkB", "%.1fMB" above 2^20, "%.2fGB" above 2^30.
std::string FormatDataSize(double bytes);
