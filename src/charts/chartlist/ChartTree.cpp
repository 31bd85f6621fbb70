// The chart list as a tree for the chart list window: by source folder or by
// map type, and the map types chosen in it.
#include "charts/chartlist/ChartList.h"

#include "foundation/util/Paths.h"

namespace {

bool StartsWithFolder(const std::string& path, const std::string& folder)
{
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

} // namespace

std::string CChartList::TreePath(const CChartOutline& o, bool byType) const
{
    if (byType)
        return (o.mapType.empty() ? std::string(" - ") : o.mapType) + "|" + o.name;
    if (IsInAppBundle(o.path) || StartsWithFolder(o.path, m_config.resources))
        return "Built-in|" + o.name;
    if (StartsWithFolder(o.path, m_config.mapStore)) {
        std::string below = PathDirectory(o.path.substr(m_config.mapStore.size() + 1));
        std::string path = "MVT|";
        for (char c : below)
            path += c == '/' ? '|' : c;
        return path + "|" + o.name;
    }
    if (StartsWithFolder(o.path, m_config.documents))
        return "Documents|" + o.name;
    return "Internal|" + o.name;
}

std::unique_ptr<CChartTree> CChartList::MakeTree(bool byType, const double* point) const
{
    auto root = std::make_unique<CChartTree>();
    for (const ChartOutlinePtr& o : m_outlines) {
        if (point && !o->Contains(point[0], point[1]))
            continue;
        CChartTree* leaf = root->Add(TreePath(*o, byType), o);
        if (byType)
            leaf->Parent()->checked = CSelectMapTypes::IsTypeShown(*o);
    }
    return root;
}

std::unique_ptr<CChartTree> CChartList::MakeTreeAll(bool byType) const
{
    return MakeTree(byType, nullptr);
}

std::unique_ptr<CChartTree> CChartList::MakeTreeAt(double latitude, double longitude, bool byType) const
{
    const double point[2] = {latitude, longitude};
    return MakeTree(byType, point);
}

template <> bool CMapTreeNode<CChartOutline>::StandsForType(std::string& type) const
{
    if (!m_parent || (!m_item && m_parent->m_parent))
        return false;
    if (m_item)
        type = m_item->mapType;
    else
        type = m_label == " - " ? std::string() : m_label; // a type group
    return true;
}
