#include "overlays/model/OverlayNames.h"

namespace {
constexpr size_t kMaxIconName = 64;
}

uint64_t ParseNameNumber(const std::string& text, size_t from)
{
    size_t i = from;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const uint64_t digit = uint64_t(text[i] - '0');
        value = value > (kMaxNameNumber - digit) / 10 ? kMaxNameNumber : value * 10 + digit;
    }
    return negative ? 0 : value;
}

std::string NormaliseIconName(const std::string& name)
{
    if (name == "MOB")
        return name;
    std::string out;
    for (char c : name) {
        if (out.size() >= kMaxIconName)
            break;
        if (c >= 'a' && c <= 'z')
            out += out.empty() ? char(c - 'a' + 'A') : c;
        else if (c >= 'A' && c <= 'Z')
            out += out.empty() ? c : char(c - 'A' + 'a');
        else if (c >= '0' && c <= '9')
            out += c;
        else if (c == ' ' || c == '_')
            out += '_';
    }
    return out;
}

bool IsPlainPointName(const std::string& name)
{
    return name.size() >= 2 && name[0] == 'P' && static_cast<unsigned char>(name[1]) < ':';
}
