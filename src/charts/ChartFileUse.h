#pragma once
// Chart files that readers map and files that a package update rewrites in
// place exclude each other: a mapped file that changes under its readers gives
// them half-written tiles, and one that shrinks kills them with SIGBUS. Keyed
// by device and inode, so two spellings of a path are one file. Any thread.
#include "foundation/util/Files.h"

#include <string>
#include <vector>

// The identity of an open descriptor.
CFileId FileIdOfDescriptor(int fd);

// A reader is about to map the file; false while it is being rewritten.
bool BeginChartFileMapping(const CFileId& id);
void EndChartFileMapping(const CFileId& id);
// A writer is about to change the file in place; false while it is mapped.
bool BeginChartFileRewrite(const CFileId& id);
void EndChartFileRewrite(const CFileId& id);

// Through the rewrite hooks port (ChartPorts.h), on the main thread: before
// an update's first write, and after it ends.
void ReleaseChartFiles(const std::vector<std::string>& paths);
void ReacquireChartFiles(const std::vector<std::string>& paths);
