// The saved application state holds the chart view it was given, not
// whichever view was made last; the end of the application is published once.
#include "app/shell/AppDelegate.h"
#include "foundation/events/Listener.h"
#include "foundation/events/ShutDown.h"
#include "foundation/platform/PlatformFolders.h"
#include "mapview/view/RasterleafView.h"
#include "support/TestPaths.h"

#include <filesystem>
#include <gtest/gtest.h>

TEST(ApplicationState, SavesAndRestoresTheViewItWasGiven)
{
    const struct
    {
        double lat, lon, scale;
    } cases[] = {{54.5, 10.5, 0.01}, {-33.9, 151.2, 0.5}, {60.1, -1.3, 2.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lat);
        CRasterleafView saved{CRasterleafView::Ports{}};
        ASSERT_TRUE(saved.GoToPosition(c.lat, c.lon, c.scale));
        // Made later, so it is the global view; its place must not leak in.
        CRasterleafView other{CRasterleafView::Ports{}};
        ASSERT_TRUE(other.GoToPosition(1.5, 2.5, 0.3));
        ASSERT_EQ(CRasterleafView::Global(), &other);

        std::string bytes;
        ASSERT_TRUE(CApplicationData(&saved).SaveToBuffer(bytes, {}, nullptr, CApplicationData::kFileId));
        CRasterleafView restored{CRasterleafView::Ports{}};
        ASSERT_TRUE(CApplicationData(&restored).LoadFromBuffer(bytes.data(), bytes.size(), {}, nullptr,
                                                               CApplicationData::kFileId));
        EXPECT_DOUBLE_EQ(restored.StoredLat(), c.lat);
        EXPECT_DOUBLE_EQ(restored.StoredLon(), c.lon);
        EXPECT_DOUBLE_EQ(restored.StoredScale(), c.scale);
        EXPECT_DOUBLE_EQ(other.StoredLat(), 1.5);

        // Without a view the state is read past, harming nothing.
        EXPECT_TRUE(CApplicationData().LoadFromBuffer(bytes.data(), bytes.size(), {}, nullptr,
                                                      CApplicationData::kFileId));
    }
}

namespace {

class ShutDownCounter : public Listener<ShutDown>
{
public:
    void Notify(const ShutDown&) override { ++count; }
    int count = 0;
};

} // namespace

TEST(ApplicationState, ShutDownIsPublishedOnceBeforeSaving)
{
    const std::string root = tessatest::MakeScratchDir("app_shutdown");
    SetFolderRootForTesting(root);
    ShutDownCounter counter;
    {
        AppDelegate app;
        app.Shutdown();
        EXPECT_EQ(counter.count, 1);
        app.Shutdown();
    } // the destructor shuts down only once as well
    EXPECT_EQ(counter.count, 1);
    SetFolderRootForTesting({});
    std::filesystem::remove_all(root);
}
