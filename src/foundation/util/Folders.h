#pragma once
// The folders of this application and its resources.
#include <string>

// The application's data folder (~/.local/share/tessaroute); with a subpath,
// that folder below it. The folder is created.
std::string GetApplicationSupportFolder(const std::string& subpath = std::string());
// The application's caches folder (~/.cache/tessaroute), as above.
std::string GetCachesFolder(const std::string& subpath = std::string());
// The user's documents folder for this product (~/Documents/Tessaroute), as above.
std::string GetDocumentsFolder(const std::string& subpath = std::string());
// The private temporary folder of this process (mode 0700); "" when it cannot be made.
std::string GetTempFolder();
// The first resource folder that exists; "" when there is none.
std::string GetResourceFolder();
// The path of resource `name` with extension `type` (without '.'; empty for a
// name that holds its own). Searched in each resource folder and its "images"
// folder. "" when absent or when the name would lead out of the folder.
std::string GetResourcePath(const std::string& name, const std::string& type);

std::string GetBundleIdentifier();
std::string GetBundleVersion();
std::string GetShortVersionString();

// A fresh name in the temporary folder: "tmp<random>." followed by the suffix.
std::string MakeTempFileName(const std::string& suffix);
