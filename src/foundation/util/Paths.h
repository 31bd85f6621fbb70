#pragma once
// Taking local paths apart. Local paths are split at '/' only: ':' and '\\'
// are ordinary file-name characters here. Names that come from elsewhere
// (server listings, packages made on other systems) use the Foreign forms,
// which also split at '\\' and ':'.
#include <string>

// The part before the last '/'; "." for a bare name, "/" for a name in the root.
std::string PathDirectory(const std::string& path);
// The part after the last '/'.
std::string PathFileName(const std::string& path);
// The file name without its extension.
std::string PathBaseName(const std::string& path);
// The text after the last '.' of the file name; "" when there is none.
std::string PathExtension(const std::string& path);
// Replaces the extension (given without its '.'), or appends '.' and it.
std::string PathChangeExtension(const std::string& path, const std::string& ext);
// The same, for an extension given with or without its '.'.
std::string ReplaceExtension(const std::string& path, const std::string& ext);
// Whether the path ends in '.' and the extension, ignoring case.
bool PathHasExtension(const std::string& path, const std::string& ext);
// Whether the path lies inside an application bundle (contains ".app/").
bool IsInAppBundle(const std::string& path);

// For names from elsewhere: '/', '\\' and ':' all separate.
std::string ForeignPathDirectory(const std::string& path);
std::string ForeignPathFileName(const std::string& path);

// Whether `name` is a single plain entry name (not empty, not "." or "..", no
// '/' or NUL), so that folder + "/" + name stays inside the folder.
bool IsPlainFileName(const std::string& name);
