#pragma once
// Every chart file on the machine, known from its header alone: the chart
// folders are scanned for "*.rlt" files, each becomes a CChartOutline, and the
// outlines are kept in scale order for the chart view's questions (which chart
// at this place and scale, which is the next larger or smaller there). After
// every full scan the list is published to Listener<CChartList>.
// Main thread only.
#include "charts/chartlist/ChartOutline.h"
#include "charts/chartlist/MapTreeNode.h"
#include "foundation/util/Files.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

using ChartOutlinePtr = std::shared_ptr<CChartOutline>;
using CChartTree = CMapTreeNode<CChartOutline>;

// The map types shown in lookups and in the chart list, with the other
// chart-list settings (object "CSelectMapTypes").
class CSelectMapTypes
{
public:
    struct Settings
    {
        std::set<std::string> show;
        bool typesHint = false;
        bool showOldMaps = false;
        int32_t mvtStorageOption = 1; // non-zero: application data folder; 0: documents
    };
    static Settings& Get();
    static bool IsTypeShown(const CChartOutline& outline);
    static bool IsTypeShown(const std::string& mapType);
    // A chart added by a download or a package shows its type.
    static void ShowType(const std::string& mapType);
    static void HideType(const std::string& mapType);
    // "Topo", "4WD" and "Basemap": what an empty choice falls back to.
    static std::set<std::string> DefaultTypes();
};

// The map-store folder: "MVT" inside the folder chosen by
// "MVT_storage_option", worked out once.
std::string GetMVTFolder();

// The folders the chart list starts from. Init() uses the application's.
struct CChartFolders
{
    std::vector<std::string> standard; // registered in this order when they are folders
    std::string mapFoldersFile;        // "map_folders.txt": one more folder a line
    std::string resources;             // scanned last, never registered; "" for none
    std::string documents;             // for the chart list window's groups
    std::string mapStore;              // the map-store folder, for the same
};

// How DeleteChart removes one file (unlink by default): 0, or -1 with errno
// set. Tests fail chosen files with it.
using ChartFileRemover = std::function<int(const std::string& path)>;
void SetChartFileRemoverForTesting(ChartFileRemover remover);

class CChartList
{
public:
    struct CFolderAndTime
    {
        std::string path;
        CFileId id;
        int64_t newestNs = 0; // newest modification time of the folder and below
    };

    CChartList();
    ~CChartList();
    CChartList(const CChartList&) = delete;
    CChartList& operator=(const CChartList&) = delete;

    // The application's one list.
    static CChartList& Instance();
    static CChartFolders ApplicationFolders();

    // Registers the documents, caches and application data folders, then the
    // folders listed in "map_folders.txt" (blank and "#" lines skipped), and
    // scans them all.
    void Init();
    void Init(const CChartFolders& folders);

    // Registers a folder not known yet, notes it in "map_folders.txt" and
    // rescans. False when it is not a folder, already known, or its name
    // cannot be written as one line.
    bool AddFolder(const std::string& path);
    // Rescans everything when any folder's newest modification time changed;
    // true when it did.
    bool RescanIfChanged();
    // The full scan: every registered folder, then the resource folder;
    // the current chart is kept when its file still exists; publishes the list.
    void Rescan();

    // The outline of a chart file, read and inserted when not known yet. The
    // same file reached under another path gives the outline already known.
    // Null when the file is not a listable chart.
    ChartOutlinePtr AddChart(const std::string& path);

    // The chart at a point whose scale fits the target best (a shown type
    // when there is one, else any type). A target of 0 means the largest scale.
    ChartOutlinePtr FindBestChartAt(double latitude, double longitude, double targetScale) const;
    // The next chart in scale order from the current one that holds the point
    // and is of a shown type; null when there is no current chart or none.
    ChartOutlinePtr FindLowerScaleChartAt(double latitude, double longitude) const;
    ChartOutlinePtr FindHigherScaleChartAt(double latitude, double longitude) const;
    // Appends every outline that holds the point, in scale order.
    void ListChartsAt(double latitude, double longitude, std::vector<ChartOutlinePtr>& out) const;

    // Deletes the chunk store (of a part-file folder only the parts "0" to
    // "99", then the folder when empty), then the chart file, and drops the
    // outline. False, with the outline kept, when any of them could not go.
    bool DeleteChart(const ChartOutlinePtr& outline);
    // Deletes the older copies of charts held twice (same file name); returns
    // how many were really deleted.
    int RemoveDuplicateMaps();

    // The chart list window's trees: by source ("Built-in", "MVT",
    // "Documents", "Internal") or by map type; the second only of the
    // charts holding the point.
    std::unique_ptr<CChartTree> MakeTreeAll(bool byType) const;
    std::unique_ptr<CChartTree> MakeTreeAt(double latitude, double longitude, bool byType) const;

    void SetCurrentOutline(ChartOutlinePtr outline) { m_current = std::move(outline); }
    const ChartOutlinePtr& GetCurrentOutline() const { return m_current; }

    // In scale order (equal scales by path).
    const std::vector<ChartOutlinePtr>& Outlines() const { return m_outlines; }
    const std::vector<CFolderAndTime>& Folders() const { return m_folders; }
    ChartOutlinePtr FindByPath(const std::string& path) const;

private:
    bool RegisterFolder(const std::string& path);
    void ScanFolder(const std::string& path, int depth);
    ChartOutlinePtr Insert(const ChartOutlinePtr& outline);
    void Remove(const ChartOutlinePtr& outline);
    std::string TreePath(const CChartOutline& outline, bool byType) const;
    std::unique_ptr<CChartTree> MakeTree(bool byType, const double* point) const;

    std::vector<ChartOutlinePtr> m_outlines;
    std::unordered_map<std::string, ChartOutlinePtr> m_byPath;
    std::map<CFileId, ChartOutlinePtr> m_byId;
    // Outlines of the scan before, reused for files that did not change.
    std::unordered_map<std::string, ChartOutlinePtr> m_previous;
    ChartOutlinePtr m_current;

    CChartFolders m_config;
    std::vector<CFolderAndTime> m_folders;
    std::set<CFileId> m_visited;
};

// A chart's type, or the type of a group right below the root.
template <> bool CMapTreeNode<CChartOutline>::StandsForType(std::string& type) const;

// Puts a node's chart type into "show" when it and its ancestors are checked,
// removes it otherwise, visiting at most kMaxTypeChildrenVisited children a node.
template <class T> void CMapTreeNode<T>::StoreSelectedTypes()
{
    std::string type;
    if (StandsForType(type)) {
        if (IsCheckedUpwards())
            CSelectMapTypes::ShowType(type);
        else
            CSelectMapTypes::HideType(type);
    }
    size_t visited = 0;
    for (auto& child : m_children) {
        if (++visited > kMaxTypeChildrenVisited)
            break;
        child->StoreSelectedTypes();
    }
}
