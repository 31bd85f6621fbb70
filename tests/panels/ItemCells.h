#pragma once
// A live cell of one description type with the record of its window, and a
// clean own ship and mark manager around each test of the cell families.
#include "foundation/dialogs/DialogCallback.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "panelfakes/RecordingWindows.h"

#include <gtest/gtest.h>

namespace tessatest {

template <class S> struct Cell
{
    explicit Cell(RecordingWindowFactory& factory)
        : item(settings.CreateItem(&host)), record(factory.RecordOf(item.get()))
    {
    }
    const std::string& Text() const { return record->text; }
    S settings;
    FakeHost host{100, 60};
    std::unique_ptr<CDisplayView::CItem> item;
    std::shared_ptr<WindowRecord> record;
};

class CellTest : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        ClearPendingCallbacksForTesting();
        CMarkManager::Get().CancelGoto();
        CMarkManager::Get().ClearForTesting();
        COverlayGPSPosition& own = Own();
        own.Reset();
        own.ResetAveraging();
        own.m_fixStatus = CDataGPSPosition::kNoFix;
        own.m_latitude = own.m_longitude = 999;
        own.m_hdop = 0;
    }
    static COverlayGPSPosition& Own() { return COverlayGPSPosition::Global(); }
    static const CUnits& Units() { return CDefaultUnits::Get(); }
    RecordingWindowFactory factory;
};

} // namespace tessatest
