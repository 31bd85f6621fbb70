#pragma once
// A data panel: a window full of cells, each showing one value. The panel
// keeps grid arrangements made for different window shapes, picks the one
// that fits the window best, makes one live item per stored cell description
// and lays the items out. It reaches the screen only through the window
// interfaces below, whose windows come from the panel window factory
// (PanelPorts.h) that the Qt layer fills in.
#include "foundation/events/Listener.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/objectfile/Serializable.h"
#include "foundation/platform/DialogParent.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "panels/PanelGrid.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CPanelLatestValues;

class QImage;
class QPainter;

class CDisplayView : public CSerializable, private Listener<CUnits>
{
public:
    class IWindow;
    class ITxtWindow;
    class CItemSettings;
    class CItem;
    class CItemArrangement;
    class CItemText;
    class CItemMultilineText;
    class CItemDraw;
    class CItemButton;
    class CItemStaticImage;
    class Persistant;
    struct CRegistryEntry;
    struct CCellRef;

    using ArrangementList = std::vector<std::unique_ptr<CItemArrangement>>;

    CDisplayView();
    ~CDisplayView() override;
    CDisplayView(const CDisplayView&) = delete;
    CDisplayView& operator=(const CDisplayView&) = delete;

    // Reading replaces the arrangements only when the whole list was read,
    // then lays out again; writing writes the arrangement list.
    bool Serialize(CSerialStream& stream) override;
    // The panel chunk: the count, then each arrangement. A reader appends to
    // `arrangements` and may leave part of a failed read there.
    static bool ReadArrangements(CSerialStream& stream, ArrangementList& arrangements);
    static bool WriteArrangements(CSerialStream& stream, const ArrangementList& arrangements);

    // The panel goes on screen in `host`; `owner` parents its dialogs.
    void Attach(IWindow* host, QWidget* owner);
    // Off screen: live items, selection, arrange mode and current arrangement
    // go; the arrangements stay.
    void Detach();
    // Picks the arrangement for the host's size, makes its items, lays out.
    void Relayout();

    // A new description of the entry's type placed at the cell, in the current
    // arrangement (with its live item when on screen). Null without a current
    // arrangement or for an entry whose type cannot be made.
    CItemSettings* AddItem(const CRegistryEntry& entry, int32_t row, int32_t column, int32_t rows,
                           int32_t columns);
    // Deletes every item whose span covers the cell, with its description.
    void ClearCell(int32_t row, int32_t column);

    // Replaces every arrangement (the current one's items go first), leaves
    // arrange mode and lays out again.
    void ReplaceArrangements(ArrangementList arrangements);
    void ClearArrangements() { ReplaceArrangements({}); }

    // The first live item covering the cell, or null.
    CItem* HitTest(int32_t row, int32_t column) const;
    // The cell under a point of the panel; false outside the grid.
    bool CellAtPoint(int32_t x, int32_t y, int32_t& row, int32_t& column) const;

    const ArrangementList& Arrangements() const { return m_arrangements; }
    CItemArrangement* CurrentArrangement() const { return m_current; }
    IWindow* HostWindow() const { return m_host; }
    QWidget* Owner() const { return m_owner; }

    // The item-type registry: every cell kind a layout can hold.
    struct CRegistryEntry
    {
        const char* menuPath;
        uint32_t typeId;
        const CSerializable::Type* type;
        const CRegistryEntry* next;
    };
    // Prepends the entry; entries are static objects of the families.
    static void Register(CRegistryEntry& entry);
    // The head of the list (registers every family on first use).
    static const CRegistryEntry* FirstEntry();
    static const CRegistryEntry* FindEntry(uint32_t typeId);
    // A uniformly drawn entry; null when nothing is registered.
    static const CRegistryEntry* RandomEntry();
    // A fresh description of a registered id (placement -1); null otherwise.
    static std::unique_ptr<CItemSettings> CreateSettings(uint32_t typeId);
    static bool IsItemTypeId(uint32_t typeId) { return FindEntry(typeId) != nullptr; }
    // One entry per type, nested by the ':' of the menu paths.
    static void AddEntriesToMenu(CMenuTree& menu, std::function<void(const CRegistryEntry&)> chosen);

    static Persistant& Settings();

    // ---- editing (arrange mode, context menus, grid changes) ----
    // Points in panel coordinates (origin top-left, y down). Each returns
    // whether the panel handled the event; the caller then redraws its overlay.
    bool MouseDown(int32_t x, int32_t y);
    bool MouseDragged(int32_t x, int32_t y);
    bool MouseUp(int32_t x, int32_t y);
    bool RightMouseDown(int32_t x, int32_t y);
    // The middle button moves cells without arrange mode being on.
    bool OtherMouseDown(int32_t x, int32_t y);
    bool OtherMouseUp(int32_t x, int32_t y);
    void ToggleArrange();
    // One row or column more or fewer; the grid keeps 1 to 100 of each.
    void ChangeGrid(int32_t rowDelta, int32_t columnDelta);
    // "Data item" for the cell's item, or "Change Data" for an empty cell.
    void ShowCellMenu(int32_t row, int32_t column);
    void ShowChangeDataMenu(int32_t row, int32_t column);
    // The item on the cell becomes one of the entry's type in the same place
    // (an empty cell gets a one-cell item); nothing when it is of that type.
    void ChangeData(const CRegistryEntry& entry, int32_t row, int32_t column);
    // "Clear cell": the cell's items go and the working copy is written.
    void ClearCellAndSave(int32_t row, int32_t column);

    // A cell of the layout shown now, for menus and dialogs that act later.
    CCellRef RefToCell(int32_t row, int32_t column) const;
    // Raised whenever the arrangements are replaced or another one (or none)
    // is shown: what refers to a cell of an earlier grid must leave it alone.
    uint64_t Generation() const { return m_generation; }
    // The selection frame while a cell is moved or resized.
    CPanelRect SelectionRect() const
    {
        return {m_selLeft, m_selTop, m_selRight - m_selLeft, m_selBottom - m_selTop};
    }

    IWindow* m_host = nullptr;
    // Cleared by Detach: the data view goes with its window, the panel stays.
    QWidget* m_owner = nullptr;
    CItem* m_selected = nullptr;
    int32_t m_menuRow = 0, m_menuColumn = 0;
    int32_t m_selLeft = 0, m_selTop = 0, m_selRight = 0, m_selBottom = 0;
    int32_t m_lastX = 0, m_lastY = 0;
    bool m_moving = false;
    bool m_resizing = false;
    bool m_arrangeMode = false;
    bool m_modified = false;
    // While set, a resize keeps the arrangement (a file panel from a cell is up).
    bool m_frozen = false;

private:
    friend class CItem;
    void Notify(const CUnits& units) override;
    void MakeLiveItems(CItemArrangement& arrangement);
    void ClearLiveItems();
    void LayOut(int32_t width, int32_t height);
    void MakeDefaultGrid(int32_t width, int32_t height);
    void ShowBackground();
    // The on-screen frame of an item: left, top, right, bottom.
    void ItemFrame(const CItem& item, int64_t& left, int64_t& top, int64_t& right, int64_t& bottom) const;
    void SelectFrame();
    void LayOutItem(CItem& item);
    // Every other live item that shares a cell with `placed` finds a free
    // place nearby, smaller if need be, or goes.
    void ResolveOverlaps(const CItem& placed);
    void SaveWorkingCopy();

    ArrangementList m_arrangements;
    uint64_t m_generation = 0;
    CItemArrangement* m_current = nullptr;
    // Lets a download that ends after the panel is gone find out.
    std::shared_ptr<CDisplayView*> m_self;
    // While on screen: the values its cells last showed.
    std::unique_ptr<CPanelLatestValues> m_latest;
};

// The window of a cell (and the panel's own drawing surface). The Qt layer
// implements it; tests record it.
class CDisplayView::IWindow
{
public:
    virtual void Invalidate() = 0;
    virtual void SetRect(int32_t x, int32_t y, int32_t width, int32_t height, CItemSettings* settings) = 0;
    virtual void Show(bool show) = 0;
    virtual void GetSize(int32_t& width, int32_t& height) = 0;
    // The panel's background picture (host windows only).
    virtual void SetBackgroundImageFile(const std::string& /*path*/) {}
    // Deletes the window.
    virtual void Destroy() { delete this; }
    virtual ~IWindow() = default;

    IWindow* m_parent = nullptr;
    bool m_hideWhenEmpty = false;
    // Added to every child's y and taken off the usable height.
    int32_t m_topInset = 0;
    int32_t m_bottomInset = 0;
    bool m_visible = true;
};

class CDisplayView::ITxtWindow : public virtual CDisplayView::IWindow
{
public:
    ~ITxtWindow() override = default;
    virtual void SetLabel(const std::string& title, const std::string& unit) = 0;
    virtual void SetText(const std::string& text) = 0;
};

// The stored description of one cell.
class CDisplayView::CItemSettings : public CSerializable
{
public:
    ~CItemSettings() override = default;
    // The placement chunk: row, column, rows, columns.
    bool Serialize(CSerialStream& stream) override;
    uint32_t GetTypeId() const override = 0;
    virtual std::unique_ptr<CItem> CreateItem(IWindow* host) = 0;

    bool IsPlaced() const { return m_row >= 0 && m_column >= 0; }
    bool Covers(int32_t row, int32_t column) const;

    int32_t m_row = -1;
    int32_t m_column = -1;
    int32_t m_rows = -1;
    int32_t m_columns = -1;
};

// The live cell made from a description while its arrangement is shown.
class CDisplayView::CItem
{
public:
    // The kinds make the window in their constructors.
    explicit CItem(CItemSettings& settings);
    virtual ~CItem();
    CItem(const CItem&) = delete;
    CItem& operator=(const CItem&) = delete;

    // The item's own entries in its cell's context menu.
    virtual void AddMenuItems(CMenuTree& /*menu*/, QWidget* /*owner*/) {}

    CItemSettings& Settings() const { return m_settings; }
    IWindow* Window() const { return m_window; }
    CDisplayView* Panel() const { return m_panel; }

    CItemSettings& m_settings;
    IWindow* m_window = nullptr; // owned; null for a cell without a window
    CDisplayView* m_panel = nullptr;
};

// One grid, made for one window shape.
class CDisplayView::CItemArrangement : public CSerializable
{
public:
    CItemArrangement() = default;
    ~CItemArrangement() override;
    // The grid chunk, then the cell chunk with one record per description.
    // Grid values outside the checked ranges fail a read; a write puts them
    // in range, so whatever is written reads back.
    bool Serialize(CSerialStream& stream) override;

    CGridSpec Grid() const { return {m_rows, m_columns, m_margin, m_minCellWidth, m_minCellHeight}; }

    uint32_t m_designWidth = 0;
    uint32_t m_designHeight = 0;
    int32_t m_rows = 1;
    int32_t m_columns = 1;
    int32_t m_margin = 3;
    int32_t m_minCellWidth = 50;
    int32_t m_minCellHeight = 50;
    // Computed at layout time.
    int32_t m_cellWidth = 0;
    int32_t m_cellHeight = 0;
    int32_t m_layoutRows = 0;
    int32_t m_layoutColumns = 0;
    std::vector<std::unique_ptr<CItemSettings>> m_cells;
    std::vector<std::unique_ptr<CItem>> m_items;
};

// A value with a title line above it.
class CDisplayView::CItemText : public CDisplayView::CItem
{
public:
    CItemText(CItemSettings& settings, IWindow* host);
    ITxtWindow* TextWindow() const { return m_txt; }

protected:
    CItemText(CItemSettings& settings, IWindow* host, bool multiline);
    ITxtWindow* m_txt = nullptr;
};

// A value alone, on several lines when it needs them.
class CDisplayView::CItemMultilineText : public CDisplayView::CItemText
{
public:
    CItemMultilineText(CItemSettings& settings, IWindow* host);
};

// A cell that paints itself on every redraw.
class CDisplayView::CItemDraw : public CDisplayView::CItem
{
public:
    CItemDraw(CItemSettings& settings, IWindow* host);
    virtual void Draw(QPainter& context, int32_t width, int32_t height) = 0;
};

class CDisplayView::CItemButton : public CDisplayView::CItem
{
public:
    class IButtonWindow : public virtual CDisplayView::IWindow
    {
    public:
        ~IButtonWindow() override = default;
        virtual void SetTitle(const std::string& text) = 0;
        // Red in the low byte.
        virtual void SetColour(uint32_t colour) = 0;
        virtual void SetImage(const QImage& image) = 0;
        virtual void SetEnabled(bool enabled) = 0;
    };

    CItemButton(CItemSettings& settings, IWindow* host);
    virtual void Pressed() = 0;
    IButtonWindow* ButtonWindow() const { return m_button; }

protected:
    IButtonWindow* m_button = nullptr;
};

class CDisplayView::CItemStaticImage : public CDisplayView::CItem
{
public:
    class IImageWindow : public virtual CDisplayView::IWindow
    {
    public:
        ~IImageWindow() override = default;
    };

    CItemStaticImage(CItemSettings& settings, IWindow* host, const std::string& imageName);
    const std::string& ImageName() const { return m_imageName; }

protected:
    IImageWindow* m_image = nullptr;
    std::string m_imageName;
};

// The settings object "CDisplayView".
class CDisplayView::Persistant : public PersistantData
{
public:
    Persistant() : PersistantData("CDisplayView") {}
    void Exchange() override;

    // Where the background image comes from: a URL until it was fetched,
    // then the path below the application data folder.
    std::string m_defaultBackground;
    // Kept in the settings file only.
    std::string m_defaultLayout;
};

// Where a menu entry or a dialog finds its cell when the user answers: the
// panel (which may be gone), the layout it was made in and the cell.
struct CDisplayView::CCellRef
{
    std::weak_ptr<CDisplayView*> panel;
    uint64_t generation = 0;
    int32_t row = 0;
    int32_t column = 0;
    // The panel while it still shows that layout; null otherwise.
    CDisplayView* Resolve() const;
};

// One entry of the "Change Data" menu: chosen, the cell shows the entry's type.
class CActionSheetItemDV : public CMenuTree::CItem
{
public:
    CActionSheetItemDV(const CDisplayView::CRegistryEntry& entry, CDisplayView::CCellRef cell, uint32_t kind);
    void Select() override;

    const CDisplayView::CRegistryEntry& m_entry;
    CDisplayView::CCellRef m_cell;
};

// Registers every item family, in the fixed order of the item menu. Safe to
// call more than once.
void RegisterAllPanelItems();
