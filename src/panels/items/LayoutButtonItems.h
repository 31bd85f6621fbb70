#pragma once
// The layout button: a cell that switches the panels to a named layout with
// one click. Its menu entry "Choose Layout" picks the layout it names.
#include "panels/DisplayView.h"

#include <string>

class CItemChangeLayout : public CDisplayView::CItemButton
{
public:
    static constexpr uint32_t kTypeId = 104;

    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        // The placement chunk, then a chunk with the layout name.
        bool Serialize(CSerialStream& stream) override;
        uint32_t GetTypeId() const override { return kTypeId; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override;
        static inline CSerializableType<CSettings> cType{kTypeId};

        // A layout in the documents folder, without folder and extension.
        std::string m_name = "Layout...";
    };

    // "Choose Layout": refers to its button by the cell, never by pointer.
    class CLayoutActionSheetItem : public CMenuTree::CItem
    {
    public:
        CLayoutActionSheetItem(CDisplayView::CCellRef cell, QWidget* owner);
        void Select() override;

        CDisplayView::CCellRef m_cell;
        QWidget* m_owner;
    };

    CItemChangeLayout(CSettings& settings, CDisplayView::IWindow* host);
    void AddMenuItems(CMenuTree& menu, QWidget* owner) override;
    void Pressed() override;

    // Asks for the layout the button at the cell names ("Select Layout").
    static void ChooseLayout(const CDisplayView::CCellRef& cell, QWidget* owner);
    // Title = the name; disabled while it names the layout shown.
    void UpdateButton();
    const CSettings& LayoutSettings() const { return m_layout; }

private:
    CSettings& m_layout;
};

// Called by RegisterAllPanelItems.
void RegisterLayoutButtonItem();
