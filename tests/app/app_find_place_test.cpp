// The find-place dialog offscreen: the search text, the list filled as it
// scrolls, and a choice that unlocks GPS and centres the map on the place.
#include "app/dialogs/FindPlace.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/platform/PlatformFolders.h"
#include "support/PlaceIndexWriter.h"
#include "support/TestChartView.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::vector<tessatest::PlaceEntry> ManyPlaces(int count)
{
    std::vector<tessatest::PlaceEntry> places;
    for (int i = 0; i < count; ++i)
        places.push_back({"Place " + std::to_string(i), 2.0 + (i % 10), -10.0 + (i % 20), uint32_t(i % 3)});
    places.push_back({"LONDON", 8, 5, 1});
    places.push_back({"London", 9, 6, 2});
    return places;
}

class FindPlaceDialog : public testing::Test
{
protected:
    void SetUp() override
    {
        dir = tessatest::MakeScratchDir("find_place");
        path = dir + "/index.tsx";
        std::ofstream(path, std::ios::binary) << tessatest::PlaceIndex(ManyPlaces(250));
        ClearPendingCallbacksForTesting();
        find_place::RememberedText().clear();
    }
    void TearDown() override
    {
        ClearPendingCallbacksForTesting();
        fs::remove_all(dir);
    }
    find_place* Open(CRasterleafView& view, int32_t* code)
    {
        auto database = std::make_unique<CGeoNameDatabase>();
        EXPECT_TRUE(database->Open(path));
        CCallback storage;
        PushProgressCallback(storage, CCallback([code](int32_t c) {
                                 *code = c;
                                 return c;
                             }));
        auto* dialog = new find_place(view, std::move(database));
        dialog->resize(300, 300);
        dialog->show();
        return dialog;
    }
    std::vector<std::string> ScrollToEnd(find_place* dialog)
    {
        for (int guard = 0; guard < 100 && dialog->Model()->canFetchMore(QModelIndex()); ++guard) {
            dialog->ResultList()->scrollToBottom();
            QApplication::processEvents();
        }
        std::vector<std::string> names;
        for (int row = 0; row < dialog->Model()->rowCount(); ++row)
            names.push_back(dialog->Model()->index(row).data().toString().toStdString());
        return names;
    }
    std::string dir, path;
};

} // namespace

TEST(FindPlaceText, LatinOneCapitalsAtMostFortyNine)
{
    struct Case
    {
        QString typed;
        std::string text;
    } cases[] = {
        {"lon", "LON"},
        {"Port 1-a", "PORT 1-A"},
        {QString::fromUtf8("\xC3\xA9tang"), "\xC9TANG"}, // é becomes É
        {QString::fromUtf8("stra\xC3\x9F"
                           "e"),
         "STRA\xDF"
         "E"},                                   // ß has no Latin-1 capital
        {QString::fromUtf8("\xC3\xB7"), "\xF7"}, // the division sign is no letter
        {QString(60, 'a'), std::string(49, 'A')},
        {QString::fromUtf8("\xCE\xA9"), "?"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(find_place::SearchTextFrom(c.typed), c.text) << c.typed.toStdString();
}

TEST_F(FindPlaceDialog, ListsAsItScrollsAndSearchesAsTyped)
{
    tessatest::CTestChartView chart(200, 200);
    int32_t code = 99;
    find_place* dialog = Open(*chart.view, &code);
    // Only what the list shows is searched; more comes as it scrolls.
    QApplication::processEvents();
    EXPECT_LE(dialog->Model()->rowCount(), CPlaceListModel::kBatch);
    EXPECT_TRUE(dialog->Model()->IsSearching());
    std::vector<std::string> all = ScrollToEnd(dialog);
    ASSERT_EQ(all.size(), 252u);
    for (int i = 0; i < 250; ++i)
        ASSERT_EQ(all[size_t(i)], "Place " + std::to_string(i));
    EXPECT_FALSE(dialog->Model()->IsSearching());

    QTest::keyClicks(dialog->SearchField(), "lon");
    EXPECT_EQ(find_place::RememberedText(), "LON");
    EXPECT_EQ(ScrollToEnd(dialog), (std::vector<std::string>{"LONDON", "London"}));
    dialog->SearchField()->setText("1");
    EXPECT_EQ(ScrollToEnd(dialog).size(), 133u); // names of 0..249 that hold a 1
    dialog->onCancel();
    EXPECT_EQ(code, -1);
    QApplication::processEvents();

    // The text comes back with the next dialog.
    find_place* again = Open(*chart.view, &code);
    EXPECT_EQ(again->SearchField()->text().toStdString(), "1");
    again->onCancel();
}

TEST_F(FindPlaceDialog, ChoiceUnlocksAndCentres)
{
    tessatest::CTestChartView chart(200, 200);
    ASSERT_TRUE(chart.IsOpen());
    chart.view->SetGPSLock(true);
    int32_t code = 99;
    find_place* dialog = Open(*chart.view, &code);
    QTest::keyClicks(dialog->SearchField(), "london");
    ASSERT_EQ(ScrollToEnd(dialog).size(), 2u);
    dialog->onChosen(0);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(chart.view->GetGPSLock());
    double x = 0, y = 0;
    ASSERT_TRUE(chart.view->LatLonToScreen(8, 5, x, y));
    EXPECT_NEAR(x, chart.view->ScreenCentreX(), 1.0);
    EXPECT_NEAR(y, chart.view->ScreenCentreY(), 1.0);
    QApplication::processEvents();
}

TEST_F(FindPlaceDialog, OpensTheLastGoodIndexWhenTheChartHasNone)
{
    SetFolderRootForTesting(dir);
    tessatest::CTestChartView chart(200, 200);
    auto findDialog = [] {
        for (QWidget* w : QApplication::allWidgets())
            if (auto* d = qobject_cast<find_place*>(w); d && !d->isDialogEnded())
                return d;
        return static_cast<find_place*>(nullptr);
    };
    chart.view->SetLastPlaceIndexPath(path);
    OpenFindPlace(nullptr, *chart.view);
    find_place* dialog = findDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(chart.view->LastPlaceIndexPath(), path);
    dialog->onCancel();
    // An index beside the chart is used and becomes the last good one.
    const std::string beside = chart.Path().substr(0, chart.Path().size() - 3) + "tsx";
    fs::copy_file(path, beside);
    OpenFindPlace(nullptr, *chart.view);
    dialog = findDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(chart.view->LastPlaceIndexPath(), beside);
    dialog->onCancel();
    fs::remove(beside);
    QApplication::processEvents();
    SetFolderRootForTesting("");
}
