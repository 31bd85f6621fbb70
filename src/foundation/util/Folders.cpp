#include "foundation/util/Folders.h"

#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Files.h"
#include "foundation/util/FormatString.h"

#include <random>
#include <sys/stat.h>

namespace {

std::string WithSubpath(const std::string& root, const std::string& subpath)
{
    std::string folder = root;
    if (!subpath.empty())
        folder += (subpath[0] == '/' ? "" : "/") + subpath;
    CreateDirectoryPath(folder);
    return folder;
}

} // namespace

std::string GetApplicationSupportFolder(const std::string& subpath)
{
    return WithSubpath(GetPlatformDataFolder(), subpath);
}

std::string GetCachesFolder(const std::string& subpath)
{
    return WithSubpath(GetPlatformCachesFolder(), subpath);
}

std::string GetDocumentsFolder(const std::string& subpath)
{
    return WithSubpath(GetPlatformDocumentsFolder(), subpath);
}

std::string GetTempFolder()
{
    return GetPlatformTempFolder();
}

std::string GetResourceFolder()
{
    std::vector<std::string> folders = GetResourceSearchFolders();
    return folders.empty() ? std::string() : folders.front();
}

std::string GetResourcePath(const std::string& name, const std::string& type)
{
    if (name.empty() || name.find("..") != std::string::npos || name[0] == '/')
        return std::string();
    std::string file = type.empty() ? name : name + "." + type;
    for (const std::string& folder : GetResourceSearchFolders()) {
        for (const char* sub : {"", "/images"}) {
            std::string path = folder + sub + "/" + file;
            if (IsRegularFile(path))
                return path;
        }
    }
    return std::string();
}

std::string GetBundleIdentifier()
{
    return "tessaroute";
}

std::string GetBundleVersion()
{
#ifdef TESSA_VERSION
    return TESSA_VERSION;
#else
    return "0";
#endif
}

std::string GetShortVersionString()
{
    return GetBundleVersion();
}

std::string MakeTempFileName(const std::string& suffix)
{
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> number(0, 999999999);
    std::string name;
    FormatLongString(name, "%s/tmp%d.%s", GetTempFolder().c_str(), number(generator), suffix.c_str());
    return name;
}
