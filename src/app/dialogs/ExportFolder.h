#pragma once
// The folder the user last exported or shared GPX files into, kept in the
// settings so the next export panel opens there.
#include <string>

// The folder, or "" before the first export (the panel then chooses).
std::string LastExportFolder();
// The proposed file: `name` in the last folder used.
std::string ProposedExportPath(const std::string& name);
// Remembers the folder of a file just written.
void RememberExportFolder(const std::string& writtenPath);
