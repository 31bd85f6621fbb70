#include "panels/DisplayView.h"

#include "charts/packages/PackageManifest.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/jobs/ProgressJobs.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "panels/LatestValues.h"
#include "panels/MainAndFlip.h"
#include "panels/PanelEditing.h"
#include "panels/PanelPorts.h"

#include <QPoint>

#include <algorithm>
#include <sys/stat.h>

namespace {

bool HasParentComponent(const std::string& path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        if (path.compare(start, slash - start, "..") == 0 && slash - start == 2)
            return true;
        start = slash + 1;
    }
    return false;
}

} // namespace

// ---- the panel ----

CDisplayView::CDisplayView() : Listener<CUnits>(0), m_self(std::make_shared<CDisplayView*>(this)) {}

CDisplayView::~CDisplayView()
{
    *m_self = nullptr;
    ClearLiveItems();
}

CDisplayView::Persistant& CDisplayView::Settings()
{
    static Persistant settings;
    return settings;
}

void CDisplayView::Persistant::Exchange()
{
    ExchangeString("DefaultBackground", m_defaultBackground);
    ExchangeString("DefaultLayout", m_defaultLayout);
}

bool CDisplayView::Serialize(CSerialStream& stream)
{
    if (stream.IsWriting())
        return WriteArrangements(stream, m_arrangements);
    ArrangementList read;
    if (!ReadArrangements(stream, read))
        return false;
    ReplaceArrangements(std::move(read));
    return true;
}

bool CDisplayView::WriteArrangements(CSerialStream& stream, const ArrangementList& arrangements)
{
    if (stream.IsReading())
        return stream.Fail("arrangements were written to a reading stream");
    CSerialChunk chunk(stream);
    uint32_t count = static_cast<uint32_t>(arrangements.size());
    chunk.Exchange(count);
    for (auto& arrangement : arrangements)
        if (!arrangement->Serialize(stream))
            return false;
    return chunk.Close();
}

bool CDisplayView::ReadArrangements(CSerialStream& stream, ArrangementList& arrangements)
{
    if (stream.IsWriting())
        return stream.Fail("arrangements were read from a writing stream");
    CSerialChunk chunk(stream);
    uint32_t count = 0;
    if (!chunk.Exchange(count))
        return false;
    if (count > CSerialStream::kMaxListCount)
        return stream.Fail("bad arrangement count " + std::to_string(count));
    for (uint32_t i = 0; i < count; ++i) {
        // Every arrangement takes bytes: a count larger than what follows
        // must not make arrangements out of nothing.
        if (chunk.AtEnd())
            return stream.Fail("the panel holds fewer arrangements than its count");
        auto arrangement = std::make_unique<CItemArrangement>();
        if (!arrangement->Serialize(stream))
            return false;
        arrangements.push_back(std::move(arrangement));
    }
    return chunk.Close();
}

void CDisplayView::Attach(IWindow* host, QWidget* owner)
{
    m_host = host;
    m_owner = owner;
    if (!m_latest)
        m_latest = std::make_unique<CPanelLatestValues>();
    if (!Settings().m_defaultBackground.empty())
        ShowBackground();
}

void CDisplayView::Detach()
{
    ClearLiveItems();
    m_selected = nullptr;
    m_host = nullptr;
    m_owner = nullptr;
    m_arrangeMode = false;
    m_current = nullptr;
    ++m_generation;
    m_latest.reset();
}

void CDisplayView::ClearLiveItems()
{
    if (m_current)
        m_current->m_items.clear();
    m_selected = nullptr;
}

void CDisplayView::MakeLiveItems(CItemArrangement& arrangement)
{
    arrangement.m_items.clear();
    for (auto& settings : arrangement.m_cells) {
        std::unique_ptr<CItem> item = settings->CreateItem(m_host);
        if (!item)
            continue;
        item->m_panel = this;
        arrangement.m_items.push_back(std::move(item));
    }
}

void CDisplayView::Relayout()
{
    if (!m_host)
        return;
    int32_t width = 0, height = 0;
    m_host->GetSize(width, height);
    if (width <= 0 || height <= 0) {
        ClearLiveItems();
        if (m_current)
            ++m_generation;
        m_current = nullptr;
        m_arrangeMode = false;
        return;
    }
    CItemArrangement* winner = m_current;
    if (!m_frozen || !winner) {
        winner = nullptr;
        uint64_t best = 0;
        for (auto& arrangement : m_arrangements) {
            uint64_t score =
                ArrangementScore(arrangement->m_designWidth, arrangement->m_designHeight, width, height);
            if (!winner || score < best) {
                winner = arrangement.get();
                best = score;
            }
        }
    }
    if (!winner) {
        MakeDefaultGrid(width, height);
        winner = m_arrangements.front().get();
    }
    if (winner != m_current) {
        ClearLiveItems();
        // Cells of another grid: menus made for the old one must not act here.
        ++m_generation;
        m_current = winner;
        MakeLiveItems(*winner);
    }
    LayOut(width, height);
}

void CDisplayView::MakeDefaultGrid(int32_t width, int32_t height)
{
    auto grid = std::make_unique<CItemArrangement>();
    grid->m_designWidth = static_cast<uint32_t>(width);
    grid->m_designHeight = static_cast<uint32_t>(height);
    DefaultGridSize(width, height, grid->m_rows, grid->m_columns);
    for (int32_t row = 0; row < grid->m_rows; ++row) {
        for (int32_t column = 0; column < grid->m_columns; ++column) {
            const CRegistryEntry* entry = RandomEntry();
            if (!entry)
                break;
            std::unique_ptr<CItemSettings> settings = CreateSettings(entry->typeId);
            if (!settings)
                continue;
            settings->m_row = row;
            settings->m_column = column;
            settings->m_rows = 1;
            settings->m_columns = 1;
            grid->m_cells.push_back(std::move(settings));
        }
    }
    m_arrangements.push_back(std::move(grid));
}

void CDisplayView::LayOut(int32_t width, int32_t height)
{
    CItemArrangement& a = *m_current;
    const CGridSpec grid = a.Grid();
    CellSize(grid, width, height, a.m_cellWidth, a.m_cellHeight);
    a.m_layoutRows = a.m_rows;
    a.m_layoutColumns = a.m_columns;
    for (auto& item : a.m_items) {
        if (!item->m_window)
            continue;
        const CItemSettings& s = item->m_settings;
        CPanelRect r =
            CellRect(grid, a.m_cellWidth, a.m_cellHeight, s.m_row, s.m_column, s.m_rows, s.m_columns);
        item->m_window->SetRect(r.x, r.y, r.width, r.height, &item->m_settings);
    }
    if (m_arrangeMode && m_selected) {
        const CItemSettings& s = m_selected->m_settings;
        CPanelRect r =
            CellRect(grid, a.m_cellWidth, a.m_cellHeight, s.m_row, s.m_column, s.m_rows, s.m_columns);
        m_selLeft = r.x;
        m_selTop = r.y;
        m_selRight = static_cast<int32_t>(std::min<int64_t>(int64_t(r.x) + r.width, INT32_MAX));
        m_selBottom = static_cast<int32_t>(std::min<int64_t>(int64_t(r.y) + r.height, INT32_MAX));
    }
}

void CDisplayView::ReplaceArrangements(ArrangementList arrangements)
{
    ClearLiveItems();
    m_current = nullptr;
    m_arrangeMode = false;
    m_moving = m_resizing = false;
    ++m_generation;
    m_arrangements = std::move(arrangements);
    Relayout();
}

void CDisplayView::Notify(const CUnits&)
{
    if (!m_current || !m_host)
        return;
    ClearLiveItems();
    MakeLiveItems(*m_current);
    // The new cells show the current values in the new units at once.
    if (m_latest)
        m_latest->Refill(m_current->m_items);
    int32_t width = 0, height = 0;
    m_host->GetSize(width, height);
    LayOut(width, height);
}

CDisplayView::CItemSettings* CDisplayView::AddItem(const CRegistryEntry& entry, int32_t row, int32_t column,
                                                   int32_t rows, int32_t columns)
{
    if (!m_current)
        return nullptr;
    std::unique_ptr<CItemSettings> settings = CreateSettings(entry.typeId);
    if (!settings)
        return nullptr;
    settings->m_row = row;
    settings->m_column = column;
    settings->m_rows = rows;
    settings->m_columns = columns;
    CItemSettings* placed = settings.get();
    m_current->m_cells.push_back(std::move(settings));
    if (m_host) {
        if (std::unique_ptr<CItem> item = placed->CreateItem(m_host)) {
            item->m_panel = this;
            if (item->m_window) {
                int32_t width = 0, height = 0;
                m_host->GetSize(width, height);
                CellSize(m_current->Grid(), width, height, m_current->m_cellWidth, m_current->m_cellHeight);
                CPanelRect r = CellRect(m_current->Grid(), m_current->m_cellWidth, m_current->m_cellHeight,
                                        row, column, rows, columns);
                item->m_window->SetRect(r.x, r.y, r.width, r.height, placed);
            }
            m_current->m_items.push_back(std::move(item));
        }
    }
    return placed;
}

void CDisplayView::ClearCell(int32_t row, int32_t column)
{
    if (!m_current)
        return;
    auto& items = m_current->m_items;
    auto& cells = m_current->m_cells;
    const size_t before = cells.size();
    // Items first: they refer to their descriptions.
    std::erase_if(items,
                  [&](const std::unique_ptr<CItem>& item) { return item->m_settings.Covers(row, column); });
    std::erase_if(cells, [&](const std::unique_ptr<CItemSettings>& s) { return s->Covers(row, column); });
    if (cells.size() != before)
        m_modified = true;
}

CDisplayView::CItem* CDisplayView::HitTest(int32_t row, int32_t column) const
{
    if (!m_current)
        return nullptr;
    for (auto& item : m_current->m_items)
        if (item->m_settings.Covers(row, column))
            return item.get();
    return nullptr;
}

bool CDisplayView::CellAtPoint(int32_t x, int32_t y, int32_t& row, int32_t& column) const
{
    if (!m_current)
        return false;
    return ::CellAtPoint(x, y, m_current->m_cellWidth, m_current->m_cellHeight, m_current->m_layoutRows,
                         m_current->m_layoutColumns, row, column);
}

void CDisplayView::ShowBackground()
{
    const std::string stored = Settings().m_defaultBackground;
    std::string scheme, hostAndPort, path;
    if (!SplitURL(stored, scheme, hostAndPort, path)) {
        scheme.clear();
        hostAndPort.clear();
        path = stored;
    } else if (scheme != "http" && scheme != "https") {
        return;
    }
    if (path.empty() || HasParentComponent(path) || PathFileName(path).empty())
        return;
    if (path.front() != '/')
        path.insert(path.begin(), '/');
    const std::string local = GetApplicationSupportFolder() + path;

    std::weak_ptr<CDisplayView*> self = m_self;
    auto show = [self, path, local]() {
        // A URL becomes its path only once the file is there, so a failed
        // download is tried again at the next attach.
        CDisplayView::Persistant& settings = CDisplayView::Settings();
        if (settings.m_defaultBackground != path) {
            settings.m_defaultBackground = path;
            settings.SetModified();
        }
        auto panel = self.lock();
        if (panel && *panel && (*panel)->m_host)
            (*panel)->m_host->SetBackgroundImageFile(local);
    };
    if (IsRegularFile(local)) {
        show();
        return;
    }
    if (hostAndPort.empty())
        return;
    std::string host;
    int port = 0;
    if (!SplitPackageHost(hostAndPort, host, port) || !CreateDirectoryPath(PathDirectory(local)))
        return;
    CCallback storage;
    PushProgressCallback(storage, CCallback([show, local](int32_t code) -> int32_t {
                             if (code == 0 && IsRegularFile(local))
                                 show();
                             return code;
                         }));
    DownloadWithProgress(m_owner, host, path, local, "Downloading background image...", scheme == "https",
                         port);
}

// ---- descriptions and items ----

bool CDisplayView::CItemSettings::Serialize(CSerialStream& stream)
{
    CSerialChunk chunk(stream);
    chunk.Exchange(m_row);
    chunk.Exchange(m_column);
    chunk.Exchange(m_rows);
    chunk.Exchange(m_columns);
    return chunk.Close();
}

bool CDisplayView::CItemSettings::Covers(int32_t row, int32_t column) const
{
    return SpanCovers(m_row, m_column, m_rows, m_columns, row, column);
}

CDisplayView::CItem::CItem(CItemSettings& settings) : m_settings(settings) {}

CDisplayView::CItem::~CItem()
{
    if (m_panel && m_panel->m_selected == this)
        m_panel->m_selected = nullptr;
    if (m_window)
        m_window->Destroy();
}

CDisplayView::CItemText::CItemText(CItemSettings& settings, IWindow* host) : CItemText(settings, host, false)
{
}

CDisplayView::CItemText::CItemText(CItemSettings& settings, IWindow* host, bool multiline) : CItem(settings)
{
    m_txt = Port<IPanelWindowFactory>().MakeTextWindow(host, *this, multiline);
    m_window = m_txt;
}

CDisplayView::CItemMultilineText::CItemMultilineText(CItemSettings& settings, IWindow* host)
    : CItemText(settings, host, true)
{
}

CDisplayView::CItemDraw::CItemDraw(CItemSettings& settings, IWindow* host) : CItem(settings)
{
    m_window = Port<IPanelWindowFactory>().MakeDrawWindow(host, *this);
}

CDisplayView::CItemButton::CItemButton(CItemSettings& settings, IWindow* host) : CItem(settings)
{
    m_button = Port<IPanelWindowFactory>().MakeButtonWindow(host, *this);
    m_window = m_button;
}

CDisplayView::CItemStaticImage::CItemStaticImage(CItemSettings& settings, IWindow* host,
                                                 const std::string& imageName)
    : CItem(settings), m_imageName(imageName)
{
    m_image = Port<IPanelWindowFactory>().MakeImageWindow(host, *this, imageName);
    m_window = m_image;
}

// ---- arrangements ----

CDisplayView::CItemArrangement::~CItemArrangement()
{
    // Items refer to the descriptions: they go first.
    m_items.clear();
}

bool CDisplayView::CItemArrangement::Serialize(CSerialStream& stream)
{
    {
        CSerialChunk grid(stream);
        if (stream.IsWriting()) {
            CGridSpec g = ClampGrid(Grid());
            grid.Exchange(m_designWidth);
            grid.Exchange(m_designHeight);
            grid.Exchange(g.rows);
            grid.Exchange(g.columns);
            grid.Exchange(g.margin);
            grid.Exchange(g.minCellWidth);
            grid.Exchange(g.minCellHeight);
        } else {
            grid.Exchange(m_designWidth);
            grid.Exchange(m_designHeight);
            grid.Exchange(m_rows);
            grid.Exchange(m_columns);
            grid.Exchange(m_margin);
            grid.Exchange(m_minCellWidth);
            grid.Exchange(m_minCellHeight);
            if (stream.IsGood() && !IsValidGrid(Grid()))
                return stream.Fail("a grid of " + std::to_string(m_rows) + " x " + std::to_string(m_columns) +
                                   " cells, margin " + std::to_string(m_margin) + ", minimum cell " +
                                   std::to_string(m_minCellWidth) + " x " + std::to_string(m_minCellHeight) +
                                   " is out of range");
        }
        if (!grid.Close())
            return false;
    }
    CSerialChunk cells(stream);
    if (stream.IsWriting()) {
        std::vector<CSerializable*> list;
        list.reserve(m_cells.size());
        for (auto& cell : m_cells)
            list.push_back(cell.get());
        cells.WriteObjectList(list);
        return cells.Close();
    }
    std::vector<std::unique_ptr<CSerializable>> objects;
    if (!cells.ReadObjectList(objects, &CDisplayView::IsItemTypeId))
        return false;
    for (auto& object : objects) {
        if (auto* settings = dynamic_cast<CItemSettings*>(object.get())) {
            object.release();
            m_cells.emplace_back(settings);
        }
    }
    return cells.Close();
}

// ---- editing ----

CDisplayView::CCellRef CDisplayView::RefToCell(int32_t row, int32_t column) const
{
    return {m_self, m_generation, row, column};
}

CDisplayView* CDisplayView::CCellRef::Resolve() const
{
    auto alive = panel.lock();
    if (!alive || !*alive || (*alive)->m_generation != generation)
        return nullptr;
    return *alive;
}

void CDisplayView::ItemFrame(const CItem& item, int64_t& left, int64_t& top, int64_t& right,
                             int64_t& bottom) const
{
    const CItemSettings& s = item.m_settings;
    const int64_t m = m_current->m_margin;
    left = int64_t(s.m_column) * m_current->m_cellWidth + m;
    top = int64_t(s.m_row) * m_current->m_cellHeight + m;
    right = left + int64_t(s.m_columns) * m_current->m_cellWidth - 2 * m;
    bottom = top + int64_t(s.m_rows) * m_current->m_cellHeight - 2 * m;
}

namespace {

int32_t To32(int64_t v)
{
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

} // namespace

void CDisplayView::SelectFrame()
{
    if (!m_selected || !m_current)
        return;
    int64_t left, top, right, bottom;
    ItemFrame(*m_selected, left, top, right, bottom);
    m_selLeft = To32(left);
    m_selTop = To32(top);
    m_selRight = To32(right);
    m_selBottom = To32(bottom);
}

void CDisplayView::LayOutItem(CItem& item)
{
    if (!item.m_window || !m_current)
        return;
    const CItemSettings& s = item.m_settings;
    CPanelRect r = CellRect(m_current->Grid(), m_current->m_cellWidth, m_current->m_cellHeight, s.m_row,
                            s.m_column, s.m_rows, s.m_columns);
    item.m_window->SetRect(r.x, r.y, r.width, r.height, &item.m_settings);
}

bool CDisplayView::MouseDown(int32_t x, int32_t y)
{
    m_lastX = x;
    m_lastY = y;
    m_selected = nullptr;
    m_moving = m_resizing = false;
    int32_t row = 0, column = 0;
    if (!m_arrangeMode || !m_current || !CellAtPoint(x, y, row, column))
        return false;
    m_menuRow = row;
    m_menuColumn = column;
    m_selected = HitTest(row, column);
    if (!m_selected)
        return true;
    SelectFrame();
    // Near the bottom-right corner the drag resizes, elsewhere it moves.
    if (int64_t(m_selRight) + m_selBottom - (int64_t(x) + y) > 29)
        m_moving = true;
    else
        m_resizing = true;
    return true;
}

bool CDisplayView::MouseDragged(int32_t x, int32_t y)
{
    if (!m_arrangeMode || !m_selected || !m_current)
        return false;
    int64_t left, top, right, bottom;
    ItemFrame(*m_selected, left, top, right, bottom);
    const int64_t dx = int64_t(x) - m_lastX, dy = int64_t(y) - m_lastY;
    if (m_moving) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    } else if (m_resizing) {
        // Never smaller than one cell.
        const int64_t m = m_current->m_margin;
        right = std::max(right + dx, left + m_current->m_cellWidth - 2 * m);
        bottom = std::max(bottom + dy, top + m_current->m_cellHeight - 2 * m);
    }
    m_selLeft = To32(left);
    m_selTop = To32(top);
    m_selRight = To32(right);
    m_selBottom = To32(bottom);
    return true;
}

bool CDisplayView::MouseUp(int32_t, int32_t)
{
    if (m_arrangeMode && m_selected && m_current) {
        const CPanelSpan place =
            SnapToGrid(m_selLeft, m_selTop, m_selRight, m_selBottom, m_current->m_cellWidth,
                       m_current->m_cellHeight, m_current->m_rows, m_current->m_columns, m_resizing);
        CItemSettings& s = m_selected->m_settings;
        s.m_row = place.row;
        s.m_column = place.column;
        s.m_rows = place.rows;
        s.m_columns = place.columns;
        LayOutItem(*m_selected);
        ResolveOverlaps(*m_selected);
        SelectFrame();
        m_modified = true;
    }
    m_moving = m_resizing = false;
    return true;
}

void CDisplayView::ResolveOverlaps(const CItem& placed)
{
    auto& items = m_current->m_items;
    const CItemSettings& p = placed.m_settings;
    const CPanelSpan placedSpan{p.m_row, p.m_column, p.m_rows, p.m_columns};
    std::vector<std::unique_ptr<CItem>> queue;
    for (auto it = items.begin(); it != items.end();) {
        const CItemSettings& s = (*it)->m_settings;
        if (it->get() != &placed && SpansOverlap(placedSpan, {s.m_row, s.m_column, s.m_rows, s.m_columns})) {
            queue.push_back(std::move(*it));
            it = items.erase(it);
        } else {
            ++it;
        }
    }
    // Small items first: they find room most easily and leave the rest
    // for the larger ones.
    auto area = [](const std::unique_ptr<CItem>& item) {
        return int64_t(item->m_settings.m_rows) * item->m_settings.m_columns;
    };
    std::stable_sort(
        queue.begin(), queue.end(),
        [&](const std::unique_ptr<CItem>& a, const std::unique_ptr<CItem>& b) { return area(a) < area(b); });
    for (auto& item : queue) {
        COccupancyGrid occupied(m_current->m_rows, m_current->m_columns);
        for (auto& live : items) {
            const CItemSettings& s = live->m_settings;
            occupied.Mark({s.m_row, s.m_column, s.m_rows, s.m_columns});
        }
        CItemSettings& s = item->m_settings;
        CPanelSpan place;
        if (FindFreePlace(occupied, {s.m_row, s.m_column, s.m_rows, s.m_columns}, place)) {
            s.m_row = place.row;
            s.m_column = place.column;
            s.m_rows = place.rows;
            s.m_columns = place.columns;
            items.push_back(std::move(item));
            LayOutItem(*items.back());
            continue;
        }
        // No room left: the cell goes, description and all.
        const CItemSettings* gone = &s;
        item.reset();
        std::erase_if(m_current->m_cells,
                      [gone](const std::unique_ptr<CItemSettings>& cell) { return cell.get() == gone; });
    }
}

bool CDisplayView::RightMouseDown(int32_t x, int32_t y)
{
    m_lastX = x;
    m_lastY = y;
    int32_t row = 0, column = 0;
    if (!m_current || !CellAtPoint(x, y, row, column))
        return false;
    ShowCellMenu(row, column);
    return true;
}

bool CDisplayView::OtherMouseDown(int32_t x, int32_t y)
{
    m_arrangeMode = true;
    return MouseDown(x, y);
}

bool CDisplayView::OtherMouseUp(int32_t x, int32_t y)
{
    const bool handled = MouseUp(x, y);
    m_arrangeMode = false;
    m_selected = nullptr;
    return handled;
}

void CDisplayView::ToggleArrange()
{
    m_moving = m_resizing = false;
    if (m_arrangeMode) {
        m_arrangeMode = false;
        m_selected = nullptr;
        return;
    }
    m_arrangeMode = true;
    SelectFrame();
}

void CDisplayView::ChangeGrid(int32_t rowDelta, int32_t columnDelta)
{
    if (!m_current)
        return;
    m_selected = nullptr;
    m_moving = m_resizing = false;
    CItemArrangement& a = *m_current;
    a.m_rows =
        static_cast<int32_t>(std::clamp<int64_t>(int64_t(a.m_rows) + rowDelta, 1, GridLimits::kMaxRows));
    a.m_columns = static_cast<int32_t>(
        std::clamp<int64_t>(int64_t(a.m_columns) + columnDelta, 1, GridLimits::kMaxColumns));
    ClearLiveItems();
    a.m_items.clear();
    std::erase_if(a.m_cells, [&](const std::unique_ptr<CItemSettings>& s) {
        if (s->m_row < 0 || s->m_column < 0 || s->m_row >= a.m_rows || s->m_column >= a.m_columns)
            return true;
        // Ends at the last row and column at the most.
        s->m_rows = std::clamp(s->m_rows, 1, a.m_rows - s->m_row);
        s->m_columns = std::clamp(s->m_columns, 1, a.m_columns - s->m_column);
        return false;
    });
    if (m_host) {
        MakeLiveItems(a);
        int32_t width = 0, height = 0;
        m_host->GetSize(width, height);
        LayOut(width, height);
    }
    m_modified = true;
    SaveWorkingCopy();
}

void CDisplayView::SaveWorkingCopy()
{
    c_main_and_flip_dv::Get().SaveWorkingCopyOrReport();
}

void CDisplayView::ClearCellAndSave(int32_t row, int32_t column)
{
    if (!m_current)
        return;
    ClearCell(row, column);
    m_selected = nullptr;
    m_selLeft = m_selTop = m_selRight = m_selBottom = 0;
    m_modified = true;
    SaveWorkingCopy();
}

void CDisplayView::ShowCellMenu(int32_t row, int32_t column)
{
    m_menuRow = row;
    m_menuColumn = column;
    m_selected = HitTest(row, column);
    if (!m_selected) {
        ShowChangeDataMenu(row, column);
        return;
    }
    // Entries find the panel and the cell again when chosen: a layout
    // switched meanwhile has freed the items this menu was made for.
    const CCellRef cell = RefToCell(row, column);
    auto menu = std::make_unique<CActionSheetMenu>("Data item", this);
    menu->AddActionSheetFunc("Change Data", CMenuTree::kPlain, [cell] {
        if (CDisplayView* panel = cell.Resolve())
            panel->ShowChangeDataMenu(cell.row, cell.column);
    });
    menu->AddActionSheetFunc("Clear cell", CMenuTree::kPlain, [cell] {
        if (CDisplayView* panel = cell.Resolve())
            panel->ClearCellAndSave(cell.row, cell.column);
    });
    m_selected->AddMenuItems(*menu, m_owner);
    CMenuTree::PopUp(std::move(menu), m_owner, QPoint(m_lastX, m_lastY));
}

void CDisplayView::ShowChangeDataMenu(int32_t row, int32_t column)
{
    if (!m_host || !m_current)
        return;
    m_menuRow = row;
    m_menuColumn = column;
    const CItem* item = HitTest(row, column);
    const uint32_t shown = item ? item->m_settings.GetTypeId() : 0;
    const CCellRef cell = RefToCell(row, column);
    auto menu = std::make_unique<CMenuTree>("Change Data", this);
    for (const CRegistryEntry* entry = FirstEntry(); entry; entry = entry->next)
        menu->AddItem(std::make_unique<CActionSheetItemDV>(
            *entry, cell, entry->typeId == shown ? CMenuTree::kChecked : CMenuTree::kPlain));
    CMenuTree::PopUp(std::move(menu), m_owner, QPoint(m_lastX, m_lastY));
}

void CDisplayView::ChangeData(const CRegistryEntry& entry, int32_t row, int32_t column)
{
    if (!m_current)
        return;
    CPanelSpan place{row, column, 1, 1};
    if (const CItem* item = HitTest(row, column)) {
        const CItemSettings& s = item->m_settings;
        if (s.GetTypeId() == entry.typeId)
            return;
        place = {s.m_row, s.m_column, s.m_rows, s.m_columns};
    }
    ClearCell(place.row, place.column);
    m_selected = nullptr;
    if (CItemSettings* added = AddItem(entry, place.row, place.column, place.rows, place.columns)) {
        for (auto& live : m_current->m_items)
            if (&live->m_settings == added)
                m_selected = live.get();
    }
    SelectFrame();
    m_modified = true;
    SaveWorkingCopy();
}

CActionSheetItemDV::CActionSheetItemDV(const CDisplayView::CRegistryEntry& entry, CDisplayView::CCellRef cell,
                                       uint32_t kind)
    : CMenuTree::CItem(entry.menuPath, kind), m_entry(entry), m_cell(std::move(cell))
{
}

void CActionSheetItemDV::Select()
{
    if (CDisplayView* panel = m_cell.Resolve())
        panel->ChangeData(m_entry, m_cell.row, m_cell.column);
}
