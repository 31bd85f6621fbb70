#pragma once
// Questions about a map package file and the local copies it names.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The display name; "" when the file is not a package.
std::string GetPackageName(const std::string& packagePath);
// The package's folder, "/" and the first file name; "" when there is none.
std::string GetPackageFirstFile(const std::string& packagePath);
// Whether the local copy of the last file in the manifest exists.
bool IsPackageInstalled(const std::string& packagePath);
// The bytes of the files that do not exist locally; -1 when the package
// cannot be read (also when its manifest is damaged), with `error` (may be
// null) saying why.
int64_t GetPackageMissingBytes(const std::string& packagePath, std::string* error = nullptr);
// The local paths of the entries whose extension is `extension` (without
// '.', any case), in manifest order.
void ListPackageFiles(const std::string& packagePath, const std::string& extension,
                      std::vector<std::string>& out);
// Their folders.
void ListPackageFolders(const std::string& packagePath, const std::string& extension,
                        std::set<std::string>& out);
