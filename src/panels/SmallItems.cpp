#include "panels/SmallItems.h"

CDisplayViewHint::CDisplayViewHint(CSettings& settings, CDisplayView::IWindow* host)
    : CDisplayView::CItemText(settings, host)
{
    if (m_txt) {
        m_txt->SetLabel("Hint: To change data", "");
        m_txt->SetText("Right-click");
    }
}

std::unique_ptr<CDisplayView::CItem> CDisplayViewHint::CSettings::CreateItem(CDisplayView::IWindow* host)
{
    return std::make_unique<CDisplayViewHint>(*this, host);
}

std::unique_ptr<CDisplayView::CItem> CDisplayViewBlank::CSettings::CreateItem(CDisplayView::IWindow*)
{
    return std::make_unique<CDisplayViewBlank>(*this);
}

std::unique_ptr<CDisplayView::CItem> CDisplayViewLogo::CSettings::CreateItem(CDisplayView::IWindow* host)
{
    return std::make_unique<CDisplayViewLogo>(*this, host);
}

void RegisterLogoItem()
{
    static CDisplayView::CRegistryEntry logo{"Other:Logo", CDisplayViewLogo::kTypeId,
                                             &CDisplayViewLogo::CSettings::cType, nullptr};
    CDisplayView::Register(logo);
}

void RegisterHintAndBlankItems()
{
    static CDisplayView::CRegistryEntry hint{"Other:Hint To change data", CDisplayViewHint::kTypeId,
                                             &CDisplayViewHint::CSettings::cType, nullptr};
    static CDisplayView::CRegistryEntry blank{"Other:Blank", CDisplayViewBlank::kTypeId,
                                              &CDisplayViewBlank::CSettings::cType, nullptr};
    CDisplayView::Register(hint);
    CDisplayView::Register(blank);
}
