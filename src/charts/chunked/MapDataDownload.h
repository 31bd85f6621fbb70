#pragma once
// Starting a chunk download from the user interface: the chart is opened for
// the download, a chart whose store cannot be written is refused with a box,
// and the download runs on its own thread under the progress dialog, whose
// message gives the size on the server and the free space. One download or
// package install runs at a time (GetMapDownloadState). When it is over the
// chart view reloads the chart, and the caller's continuations run: 0 when
// every chunk arrived, -1 when some failed, it was cancelled, refused or did
// not start. Failures are told in a box over `parent`.
#include "foundation/platform/DialogParent.h"

#include <string>
#include <utility>
#include <vector>

// The chunks over the area enclosed by the points (`area`), or along them as
// a route within `corridorMetres` on either side. Points are (latitude, longitude).
void StartMapDataDownload(QWidget* parent, const std::string& chartPath,
                          const std::vector<std::pair<double, double>>& latLon, bool area,
                          double corridorMetres);
// Every chunk of the chart.
void StartMapDataDownloadAll(QWidget* parent, const std::string& chartPath);

// "Downloading map data... (Total size <size>. Space available <free>)".
std::string MapDataDownloadText(int64_t totalBytes, int64_t freeBytes);
// "<failed> of <total> map areas could not be downloaded".
std::string FailedAreasText(int64_t failed, int64_t total);
