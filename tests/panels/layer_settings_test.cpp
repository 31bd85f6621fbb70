// Each layer's settings objects are built by its one function, before the
// settings are loaded, so that loading finds them; a second call builds none.
#include "charts/ChartsSettings.h"
#include "foundation/FoundationSettings.h"
#include "foundation/settings/PersistantData.h"
#include "panels/PanelsSettings.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

int CountNamed(const std::string& name)
{
    int count = 0;
    for (PersistantData* p = PersistantData::First(); p; p = p->Next())
        count += p->GetName() == name;
    return count;
}

TEST(LayerSettings, EachLayerBuildsAllItsSettingsObjectsOnce)
{
    struct Layer
    {
        void (*make)();
        std::vector<std::string> names;
    };
    const Layer layers[] = {
        {&MakeFoundationSettings, {"chart_server", "print"}},
        {&MakeChartsSettings, {"CChartOutline::CSortedPointer", "CSelectMapTypes"}},
        {&MakePanelsSettings, {"CDisplayView"}},
    };
    for (const Layer& layer : layers) {
        layer.make();
        layer.make();
        for (const std::string& name : layer.names)
            EXPECT_EQ(CountNamed(name), 1) << name;
    }
}

} // namespace
