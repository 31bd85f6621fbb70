#pragma once
// The framework's own small cells: a hint on how to change a cell, an empty
// cell and the logo.
#include "panels/DisplayView.h"

class CDisplayViewHint : public CDisplayView::CItemText
{
public:
    static constexpr uint32_t kTypeId = 69;
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return kTypeId; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override;
        static inline CSerializableType<CSettings> cType{kTypeId};
    };
    CDisplayViewHint(CSettings& settings, CDisplayView::IWindow* host);
};

class CDisplayViewBlank : public CDisplayView::CItem
{
public:
    static constexpr uint32_t kTypeId = 88;
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return kTypeId; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override;
        static inline CSerializableType<CSettings> cType{kTypeId};
    };
    explicit CDisplayViewBlank(CSettings& settings) : CDisplayView::CItem(settings) {}
};

class CDisplayViewLogo : public CDisplayView::CItemStaticImage
{
public:
    static constexpr uint32_t kTypeId = 65;
    class CSettings : public CDisplayView::CItemSettings
    {
    public:
        uint32_t GetTypeId() const override { return kTypeId; }
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override;
        static inline CSerializableType<CSettings> cType{kTypeId};
    };
    CDisplayViewLogo(CSettings& settings, CDisplayView::IWindow* host)
        : CDisplayView::CItemStaticImage(settings, host, "dvLogo")
    {
    }
};

// The registrations of the families above, called by RegisterAllPanelItems.
void RegisterLogoItem();
void RegisterHintAndBlankItems();
