#include "foundation/util/Paths.h"

#include <cctype>

namespace {

size_t LastSeparator(const std::string& path, const char* separators)
{
    return path.find_last_of(separators);
}

std::string DirectoryAt(const std::string& path, size_t sep)
{
    if (sep == std::string::npos)
        return ".";
    if (sep == 0)
        return path.substr(0, 1);
    return path.substr(0, sep);
}

std::string StripDot(const std::string& ext)
{
    return (!ext.empty() && ext[0] == '.') ? ext.substr(1) : ext;
}

// Where the extension's '.' is, or npos.
size_t ExtensionDot(const std::string& path)
{
    size_t sep = LastSeparator(path, "/");
    size_t start = sep == std::string::npos ? 0 : sep + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start)
        return std::string::npos;
    return dot;
}

} // namespace

std::string PathDirectory(const std::string& path)
{
    return DirectoryAt(path, LastSeparator(path, "/"));
}

std::string PathFileName(const std::string& path)
{
    size_t sep = LastSeparator(path, "/");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string PathBaseName(const std::string& path)
{
    std::string name = PathFileName(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string PathExtension(const std::string& path)
{
    size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}

std::string PathChangeExtension(const std::string& path, const std::string& ext)
{
    size_t dot = ExtensionDot(path);
    std::string stem = dot == std::string::npos ? path : path.substr(0, dot);
    stem += '.';
    stem += StripDot(ext);
    return stem;
}

std::string ReplaceExtension(const std::string& path, const std::string& ext)
{
    return PathChangeExtension(path, ext);
}

bool PathHasExtension(const std::string& path, const std::string& ext)
{
    std::string want(1, '.');
    want += StripDot(ext);
    if (path.size() < want.size())
        return false;
    size_t start = path.size() - want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(path[start + i])) !=
            std::toupper(static_cast<unsigned char>(want[i])))
            return false;
    return true;
}

bool IsInAppBundle(const std::string& path)
{
    return path.find(".app/") != std::string::npos;
}

std::string ForeignPathDirectory(const std::string& path)
{
    return DirectoryAt(path, LastSeparator(path, "/\\:"));
}

std::string ForeignPathFileName(const std::string& path)
{
    size_t sep = LastSeparator(path, "/\\:");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

bool IsPlainFileName(const std::string& name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}
