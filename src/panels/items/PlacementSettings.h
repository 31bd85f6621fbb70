#pragma once
// The description of a cell kind that stores only its placement: its id, the
// factory that makes the live item, and the registered stored type.
#include "panels/DisplayView.h"

#include <cstdint>
#include <memory>

// The description of a cell of the item type Item (made from it) under the
// id Id.
template <class Item, uint32_t Id> class CPlacedItemSettings : public CDisplayView::CItemSettings
{
public:
    uint32_t GetTypeId() const override { return Id; }
    std::unique_ptr<CDisplayView::CItem> CreateItem(CDisplayView::IWindow* host) override
    {
        return std::make_unique<Item>(*this, host);
    }
    static inline CSerializableType<CPlacedItemSettings> cType{Id};
};

// The same inside the item's class body, with the id as kTypeId.
#define TESSA_PLACEMENT_ONLY_SETTINGS(Item, id)                                                              \
    static constexpr uint32_t kTypeId = id;                                                                  \
    using CSettings = CPlacedItemSettings<Item, id>;
