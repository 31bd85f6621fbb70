#pragma once
// Bringing maps from the map store: a chart file or a package is downloaded
// into the map-store folder under the part of its server path after "MVT/",
// then a chart joins the chart list and a package is installed. The update
// check downloads every installed package's manifest again and installs it,
// which fetches only the blocks that changed. Main thread only.
#include "foundation/platform/DialogParent.h"

#include <string>

// The local path of a map-store URL path: the map-store folder (`mvtFolder`)
// and the part after "MVT/" (the whole path when it has none). False when
// that part is empty or would lead out of the folder.
bool MapStoreLocalPath(const std::string& mvtFolder, const std::string& urlPath, std::string& localPath);

// Downloads a chart file or a package ("scheme://host/path", or a path on the
// chart server) with the progress text "Downloading Map..."; its completion
// adds or installs it. The caller's continuations run when all of that is
// over: 0 when it worked, -1 when not. False when nothing was started (bad
// URL, a path leading out of the map-store folder, no folder); `localPath`
// gets where the file goes.
bool DownloadMapFile(QWidget* parent, const std::string& url, std::string& localPath);

// A local chart file or package treated as just downloaded (a file opened
// from the desktop): a chart joins the list, a package is installed and the
// map types of its charts are shown.
void InstallFile(QWidget* parent, const std::string& path);

// Downloads and installs every "*.tspkg" of the map-store folder again, one
// after the other.
void CheckForMapUpdates(QWidget* parent);
