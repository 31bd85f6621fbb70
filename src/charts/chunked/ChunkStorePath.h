#pragma once
// Where a chunked chart's store lies: beside the chart, named after it with
// the extension "rl3" in any case ("RL3" is preferred when both exist). Every
// place that opens, sizes or deletes a store asks here, so none is orphaned on
// a case-sensitive file system.
#include <string>
#include <vector>

// The store that the chart reads: "<name>.RL3" when that exists, else "<name>.rl3".
std::string ChunkStorePathFor(const std::string& chartPath);
// Every spelling of the chart's store present on disk (files and folders).
std::vector<std::string> ExistingChunkStorePaths(const std::string& chartPath);
