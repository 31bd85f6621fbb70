#include "ais/AISPorts.h"
#include "ais/SettingsCategories.h"
#include "foundation/settings/GlobalSettingsType.h"
#include "mapview/ownship/OwnShipPorts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> CategoryNames()
{
    std::vector<std::string> names;
    for (CGlobalSettingsType* t = CGlobalSettingsType::First(); t; t = t->Next())
        names.push_back(t->GetName());
    return names;
}

struct CountingSettingsUi : IGPSSettingsUi, IAISSettingsUi
{
    void OpenGPSSettings() override { ++gps; }
    void OpenAISSettings() override { ++ais; }
    int gps = 0;
    int ais = 0;
};

} // namespace

TEST(SettingsCategories, RegisteredOnceInTheSettingsOrderAndOpenThroughTheirPorts)
{
    const std::vector<std::string> expected = {"Units", "GPS Settings", "AIS Settings"};
    EXPECT_EQ(CategoryNames(), expected);
    RegisterSettingsCategories();
    EXPECT_EQ(CategoryNames(), expected) << "a second registration adds nothing";

    // Without the application's dialogs the categories open nothing.
    EXPECT_FALSE(IsPortInstalled<IGPSSettingsUi>());
    EXPECT_FALSE(IsPortInstalled<IAISSettingsUi>());
    CGlobalSettingsType::Find("GPS Settings")->Open();
    CGlobalSettingsType::Find("AIS Settings")->Open();

    CountingSettingsUi ui;
    InstallPort<IGPSSettingsUi>(&ui);
    InstallPort<IAISSettingsUi>(&ui);
    EXPECT_TRUE(IsPortInstalled<IGPSSettingsUi>() && IsPortInstalled<IAISSettingsUi>());
    CGlobalSettingsType::Find("GPS Settings")->Open();
    CGlobalSettingsType::Find("AIS Settings")->Open();
    CGlobalSettingsType::Find("AIS Settings")->Open();
    InstallPort<IGPSSettingsUi>(nullptr);
    InstallPort<IAISSettingsUi>(nullptr);
    EXPECT_EQ(ui.gps, 1);
    EXPECT_EQ(ui.ais, 2);
    EXPECT_FALSE(IsPortInstalled<IGPSSettingsUi>());
}
