#include "panels/items/LayoutButtonItems.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/FilePanel.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/util/Files.h"
#include "foundation/util/Paths.h"
#include "panels/MainAndFlip.h"

bool CItemChangeLayout::CSettings::Serialize(CSerialStream& stream)
{
    if (!CItemSettings::Serialize(stream))
        return false;
    CSerialChunk chunk(stream);
    chunk.ExchangeString(m_name);
    return chunk.Close();
}

std::unique_ptr<CDisplayView::CItem> CItemChangeLayout::CSettings::CreateItem(CDisplayView::IWindow* host)
{
    return std::make_unique<CItemChangeLayout>(*this, host);
}

CItemChangeLayout::CItemChangeLayout(CSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemButton(settings, host), m_layout(settings)
{
    UpdateButton();
}

void CItemChangeLayout::UpdateButton()
{
    if (!m_button)
        return;
    const std::string& current = c_main_and_flip_dv::Get().m_currentLayoutPath;
    m_button->SetTitle(m_layout.m_name);
    m_button->SetEnabled(current.empty() || m_layout.m_name != PathBaseName(current));
}

void CItemChangeLayout::AddMenuItems(CMenuTree& menu, QWidget* owner)
{
    if (!m_panel)
        return;
    menu.AddItem(std::make_unique<CLayoutActionSheetItem>(
        m_panel->RefToCell(m_layout.m_row, m_layout.m_column), owner));
}

void CItemChangeLayout::Pressed()
{
    if (!m_panel)
        return;
    const std::string path = c_main_and_flip_dv::NamedLayoutPath(m_layout.m_name);
    if (path.empty() || !IsRegularFile(path)) {
        ChooseLayout(m_panel->RefToCell(m_layout.m_row, m_layout.m_column), m_panel->Owner());
        return;
    }
    // The switch frees this button: it runs after the click has returned.
    RunOnNextPanelTick([path] { c_main_and_flip_dv::Get().SwitchLayout(path); });
}

void CItemChangeLayout::ChooseLayout(const CDisplayView::CCellRef& cell, QWidget* owner)
{
    CDisplayView* panel = cell.Resolve();
    if (!panel)
        return;
    // A resize while the panel is up must not swap the arrangement (and free
    // the button) under it.
    panel->m_frozen = true;
    std::weak_ptr<CDisplayView*> handle = cell.panel;
    CCallback storage;
    PushProgressCallback(storage, CCallback([handle](int32_t code) {
                             auto alive = handle.lock();
                             if (alive && *alive)
                                 (*alive)->m_frozen = false;
                             return code;
                         }));
    ImportFile(owner, "Select Layout", "dvtf", [cell, owner](const std::string& path) {
        CDisplayView* panel = cell.Resolve();
        if (!panel)
            return false;
        auto* button = dynamic_cast<CItemChangeLayout*>(panel->HitTest(cell.row, cell.column));
        if (!button)
            return false;
        const std::string name = PathBaseName(path);
        if (!IsPlainFileName(name)) {
            ShowOKMessage(owner, "\"" + name + "\" cannot name a layout.", "Could not use layout");
            return false;
        }
        button->m_layout.m_name = name;
        button->UpdateButton();
        panel->m_modified = true;
        c_main_and_flip_dv::Get().SaveWorkingCopyOrReport();
        return true;
    });
}

CItemChangeLayout::CLayoutActionSheetItem::CLayoutActionSheetItem(CDisplayView::CCellRef cell, QWidget* owner)
    : CMenuTree::CItem("Choose Layout"), m_cell(std::move(cell)), m_owner(owner)
{
}

void CItemChangeLayout::CLayoutActionSheetItem::Select()
{
    CItemChangeLayout::ChooseLayout(m_cell, m_owner);
}

void RegisterLayoutButtonItem()
{
    static CDisplayView::CRegistryEntry button{"Other:Load Layout button", CItemChangeLayout::kTypeId,
                                               &CItemChangeLayout::CSettings::cType, nullptr};
    CDisplayView::Register(button);
}
