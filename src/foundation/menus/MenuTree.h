#pragma once
// Context menus and pop-up choice menus, built in memory as a tree of items
// and then shown once as a pop-up. An item titled "Group:Title" lands in a
// sub-menu named "Group" (two colons nest two levels) unless its group is
// flat. The tree is plain data: nothing here needs a window, so its
// structure can be checked without showing anything.
#include "foundation/platform/DialogParent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPoint;

class CMenuTree
{
public:
    // Item kinds.
    enum : uint32_t {
        kPlain = 0,
        kSeparated = 1, // set off by separators
        kDisabled = 2,  // shown, not selectable
        kHidden = 3,
        kChecked = 4, // shows a check mark; a group holding one is checked too
    };

    class CItem
    {
    public:
        explicit CItem(std::string title = {}, uint32_t kind = kPlain, bool flat = false);
        virtual ~CItem();
        CItem(const CItem&) = delete;
        CItem& operator=(const CItem&) = delete;

        // Called when the user chooses the item. Empty for a plain item.
        virtual void Select() {}

        // Places `item` below this one by its title path and takes it over.
        // Returns the item where it now lives (never null).
        CItem* AddItem(std::unique_ptr<CItem> item);

        const std::string& Title() const { return m_title; }
        uint32_t Kind() const { return m_kind; }
        bool IsFlat() const { return m_flat; }
        const std::vector<std::unique_ptr<CItem>>& Children() const { return m_children; }
        // The child with exactly this title, or null.
        CItem* FindChild(const std::string& title) const;

        std::string m_title;
        uint32_t m_kind;
        bool m_flat;

    private:
        std::vector<std::unique_ptr<CItem>> m_children;
    };

    // Calls a plain function with a data pointer. The data must outlive the
    // menu (a manager or another long-lived object); objects that can vanish
    // while a menu is open belong in a CItemId.
    class CItemV : public CItem
    {
    public:
        using Function = void (*)(void* data);
        CItemV(std::string title, Function function, uint32_t kind, void* data);
        void Select() override;

        Function m_function;
        void* m_data;
    };

    // Calls a stored callable.
    class CActionSheetFunc : public CItem
    {
    public:
        CActionSheetFunc(std::string title, uint32_t kind, std::function<void()> callable);
        void Select() override;

        std::function<void()> m_callable;
    };

    // Holds only the id of the object it acts on; the function looks the
    // object up when the item is chosen, so an object deleted while its menu
    // was open (the heartbeat keeps running) is never touched.
    class CItemId : public CItem
    {
    public:
        CItemId(std::string title, uint32_t kind, uint64_t id, std::function<void(uint64_t id)> chosen);
        void Select() override;

        uint64_t m_id;
        std::function<void(uint64_t)> m_chosen;
    };

    CMenuTree(std::string title, void* context);
    virtual ~CMenuTree();
    CMenuTree(const CMenuTree&) = delete;
    CMenuTree& operator=(const CMenuTree&) = delete;

    // `data` null takes the tree's context.
    CItem* AddItemV(const std::string& titlePath, CItemV::Function function, uint32_t kind = kPlain,
                    void* data = nullptr);
    // An item without a callable would do nothing when chosen: refused (null).
    CItem* AddActionSheetFunc(const std::string& titlePath, uint32_t kind, std::function<void()> callable);
    CItem* AddItemId(const std::string& titlePath, uint32_t kind, uint64_t id,
                     std::function<void(uint64_t id)> chosen);
    CItem* AddItem(std::unique_ptr<CItem> item) { return m_root->AddItem(std::move(item)); }

    const CItem& Root() const { return *m_root; }
    CItem& Root() { return *m_root; }
    const std::string& Title() const { return m_title; }
    void* Context() const { return m_context; }

    // Mode 1 (the default) shows the menu once; mode 0 shows it again after
    // each choice until an item sets the done flag. Closing the menu without
    // a choice always ends it.
    void SetMode(int32_t mode) { m_mode = mode; }
    int32_t Mode() const { return m_mode; }
    void SetDone(bool done = true) { m_done = done; }
    bool IsDone() const { return m_done; }

    // Shows the menu at `point` in `view`'s coordinates (global coordinates
    // when `view` is null) through the installed pop-up (MenuPorts.h) and
    // returns at once, without a nested event loop. The menu owns the tree
    // until it closes and then deletes it.
    static void PopUp(std::unique_ptr<CMenuTree> tree, QWidget* view, const QPoint& point);

protected:
    CMenuTree(std::string title, void* context, bool flat);

private:
    int32_t m_mode = 1;
    std::string m_title;
    void* m_context;
    bool m_done = false;
    std::unique_ptr<CItem> m_root;
};

// A flat pop-up menu built from a table of titles and functions: titles are
// never split at ':'.
class CActionSheetMenu : public CMenuTree
{
public:
    struct Row
    {
        const char* title;
        CItemV::Function function;
        uint32_t kind;
    };

    CActionSheetMenu(std::string title, void* context, const Row* table = nullptr, size_t rowCount = 0,
                     int32_t mode = 1);

    // At x = half the view's width - 100, y = half its height.
    static void PopUpAtCentre(std::unique_ptr<CMenuTree> menu, QWidget* view);
    // At the mouse pointer.
    static void PopUpAtMouse(std::unique_ptr<CMenuTree> menu, QWidget* view);
};
