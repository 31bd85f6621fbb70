#include "charts/packages/Packages.h"

#include "charts/packages/PackageManifest.h"
#include "foundation/util/Paths.h"

#include <sys/stat.h>

namespace {

bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string LocalCopy(const std::string& packagePath, const std::string& name)
{
    return PathDirectory(packagePath) + "/" + name;
}

} // namespace

std::string GetPackageName(const std::string& packagePath)
{
    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(packagePath, manifest, error, true))
        return std::string();
    return manifest.header.name;
}

std::string GetPackageFirstFile(const std::string& packagePath)
{
    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(packagePath, manifest, error) || manifest.entries.empty())
        return std::string();
    return LocalCopy(packagePath, manifest.entries.front().name);
}

bool IsPackageInstalled(const std::string& packagePath)
{
    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(packagePath, manifest, error) || manifest.entries.empty())
        return false;
    return Exists(LocalCopy(packagePath, manifest.entries.back().name));
}

int64_t GetPackageMissingBytes(const std::string& packagePath, std::string* error)
{
    CPackageManifest manifest;
    std::string why;
    if (!ReadPackageManifestFile(packagePath, manifest, why)) {
        if (error)
            *error = why;
        return -1;
    }
    uint64_t missing = 0;
    for (const CPackageEntry& entry : manifest.entries)
        if (!Exists(LocalCopy(packagePath, entry.name)))
            missing += entry.size;
    return missing > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(missing);
}

void ListPackageFiles(const std::string& packagePath, const std::string& extension,
                      std::vector<std::string>& out)
{
    out.clear();
    CPackageManifest manifest;
    std::string error;
    if (!ReadPackageManifestFile(packagePath, manifest, error))
        return;
    for (const CPackageEntry& entry : manifest.entries)
        if (PathHasExtension(entry.name, extension))
            out.push_back(LocalCopy(packagePath, entry.name));
}

void ListPackageFolders(const std::string& packagePath, const std::string& extension,
                        std::set<std::string>& out)
{
    out.clear();
    std::vector<std::string> files;
    ListPackageFiles(packagePath, extension, files);
    for (const std::string& file : files)
        out.insert(PathDirectory(file));
}
