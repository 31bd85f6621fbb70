#pragma once
// The nested description of a cell kind that stores only its placement: its
// id, the factory that makes the live item, and the registered stored type.
// Used inside the item's class body.
#include "panels/DisplayView.h"

#include <memory>

#define TESSA_PLACEMENT_ONLY_SETTINGS(Item, id)                                                              \
    static constexpr uint32_t kTypeId = id;                                                                  \
    class CSettings : public CDisplayView::CItemSettings                                                     \
    {                                                                                                        \
    public:                                                                                                  \
        uint32_t GetTypeId() const override { return kTypeId; }                                              \
        std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override                \
        {                                                                                                    \
            return std::make_unique<Item>(*this, host);                                                      \
        }                                                                                                    \
        static inline CSerializableType<CSettings> cType{kTypeId};                                           \
    };
