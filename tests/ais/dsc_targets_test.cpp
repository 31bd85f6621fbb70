// DSC calls through the real sentence dispatch into distress marks: the call
// waits for its expansion (or for the time-out), the mark, its colour, the
// notification and navigation to a near caller.
#include "ais/DSCTargets.h"
#include "foundation/notify/StatusLine.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"
#include "overlays/model/OverlayMark.h"
#include "support/FixedClock.h"
#include "support/NMEALines.h"
#include "support/RecordingNotifier.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr const char* kDistress = "$CDDSC,12,3380400790,12,06,00,1423108312,2019,,,S,E*6A";
constexpr const char* kExpansion = "$CDDSE,1,1,A,3380400790,00,45894494*1B";
constexpr const char* kRoutine = "$CDDSC,20,3381581370,00,21,26,1423108312,1902,,,B,E*7B";

using tessatest::SendSentence;

struct Published : Listener<CDSCTarget>
{
    std::vector<CDSCTarget> seen;
    void Notify(const CDSCTarget& t) override { seen.push_back(t); }
};

class DSCTargets : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CreateDSCTargetManagers();
        manager.Clear();
        CMarkManager::Get().ClearForTesting();
        own.m_fixStatus = CDataGPSPosition::kNoFix;
    }
    void TearDown() override { SetUp(); }
    void Tick(double seconds) { clock.Advance(seconds), manager.OnTick(); }
    std::vector<COverlayMark*> DSCMarks() const
    {
        std::vector<COverlayMark*> out;
        for (const auto& m : CMarkManager::Get().Marks())
            if (m->GetName().rfind("DSC:", 0) == 0)
                out.push_back(m.get());
        return out;
    }

    tessatest::CFixedClock clock;
    tessatest::ScopedRecordingNotifier notes;
    CDSCTargetManager& manager = CDSCTargetManager::Global();
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    Published published;
};

TEST_F(DSCTargets, ADistressCallAndItsExpansionMakeOneRedLockedMarkWithANotification)
{
    SendSentence(kDistress);
    EXPECT_TRUE(published.seen.empty()) << "waits for the expansion";
    EXPECT_TRUE(manager.IsPending(338040079));
    SendSentence(kExpansion);
    ASSERT_EQ(published.seen.size(), 1u);
    EXPECT_EQ(manager.PendingCount(), 0u);
    EXPECT_EQ(published.seen[0].m_nature, 6);

    const auto marks = DSCMarks();
    ASSERT_EQ(marks.size(), 1u);
    const COverlayMark& mark = *marks[0];
    EXPECT_EQ(mark.GetName(), "DSC:338040079");
    EXPECT_NEAR(mark.GetLatitude(), 42.524315, 1e-6);
    EXPECT_NEAR(mark.GetLongitude(), -83.207490, 1e-6);
    EXPECT_TRUE(mark.IsLocked());
    EXPECT_EQ(mark.GetIcon(), "X");
    EXPECT_EQ(mark.GetColour(), GraphicsColor(1, 0, 0, 1));
    EXPECT_EQ(mark.GetDescription(), "Disabled");
    ASSERT_EQ(notes.notifier.delivered.size(), 1u);
    const CUserNotification& note = notes.notifier.delivered[0];
    EXPECT_EQ(note.title + "|" + note.text, "DSC Distress Call|Disabled");
    EXPECT_EQ(note.identifier, UserNotificationIdentifier(0u - 338040079u));
    EXPECT_GT(0u - 338040079u, CMarkManager::kAlarmKeyBase);
    // Without an own fix the caller counts as near: navigation starts.
    EXPECT_EQ(CMarkManager::Get().GetGoto().target, marks[0]);
}

TEST_F(DSCTargets, ExpansionsTimeOutsAndRepeatedCalls)
{
    struct Case
    {
        const char* name;
        std::function<void()> run;
        size_t published; // after the run
        size_t marks;
        size_t notifications;
    };
    const Case cases[] = {
        {"two expansions publish once, after the second",
         [&] {
             SendSentence("$CDDSE,2,1,A,3380400790,00,45894494");
             SendSentence(kDistress);
             SendSentence("$CDDSE,2,1,A,3380400790,00,45894494");
             EXPECT_EQ(published.seen.size(), 0u);
             SendSentence("$CDDSE,2,2,A,3380400790,02,0450");
             EXPECT_EQ(published.seen.size(), 1u);
             SendSentence("$CDDSE,2,2,A,3380400790,02,0450"); // none pending any more
         },
         1, 1, 1},
        {"a second call moves the mark",
         [&] {
             SendSentence("$CDDSC,12,3380400790,12,06,00,1423108312,2019,,,S,");
             SendSentence("$CDDSC,12,3380400790,12,01,00,1424108312,2019,,,S,");
             EXPECT_NEAR(DSCMarks().at(0)->GetLatitude(), 42.0 + 41.0 / 60, 1e-9);
             EXPECT_EQ(DSCMarks().at(0)->GetDescription(), "Flooding");
         },
         2, 1, 2},
        {"not a distress call: green, no notification, no navigation",
         [&] {
             SendSentence("$CDDSC,16,3380400790,12,06,00,1423108312,2019,,,S,");
             EXPECT_EQ(DSCMarks().at(0)->GetColour(), GraphicsColor(0, 1, 0, 1));
             EXPECT_EQ(CMarkManager::Get().GetGoto().target, nullptr);
         },
         1, 1, 0},
        {"a call whose expansion never comes is published 10 s later",
         [&] {
             SendSentence(kRoutine);
             Tick(CDSCTargetManager::kExpansionWait - 1);
             EXPECT_TRUE(DSCMarks().empty());
             Tick(1);
             ASSERT_EQ(DSCMarks().size(), 1u);
             EXPECT_EQ(DSCMarks()[0]->GetName(), "DSC:338158137");
             EXPECT_EQ(DSCMarks()[0]->GetColour(), GraphicsColor(0, 1, 0, 1));
             EXPECT_NEAR(DSCMarks()[0]->GetLatitude(), 42.0 + 31.0 / 60, 1e-9);
         },
         1, 1, 0},
        {"a clock set back an hour holds a waiting call 10 s, not an hour",
         [&] {
             SendSentence(kRoutine);
             Tick(-3600);
             Tick(CDSCTargetManager::kExpansionWait - 1);
             EXPECT_TRUE(DSCMarks().empty());
             Tick(1);
             EXPECT_EQ(DSCMarks().size(), 1u);
         },
         1, 1, 0},
        {"with an own fix: the distance in the text, navigation only when near",
         [&] {
             own.SetPosition(42.516667 + 0.003, -83.2); // 333 m
             own.m_fixStatus = CDataGPSPosition::kGPSFix;
             SendSentence("$CDDSC,12,3380400790,12,00,00,1423108312,2019,,,S,");
             EXPECT_EQ(CMarkManager::Get().GetGoto().target, DSCMarks().at(0));
             own.SetPosition(42.516667 + 0.01, -83.2); // 1.1 km
             CMarkManager::Get().CancelGoto();
             SendSentence("$CDDSC,12,3380400790,12,00,00,1423108312,2019,,,S,");
             EXPECT_EQ(CMarkManager::Get().GetGoto().target, nullptr);
             const std::string& text = notes.notifier.delivered.at(1).text;
             EXPECT_TRUE(text.rfind("Fire\n", 0) == 0 && text.substr(text.size() - 5) == " away") << text;
         },
         2, 1, 2},
        {"a call without a position is ignored",
         [&] { SendSentence("$CDDSC,12,3380400790,12,06,00,,2019,,,S,"); }, 0, 0, 0},
        {"the 101st waiting call publishes the oldest at once",
         [&] {
             for (uint32_t i = 0; i <= CDSCTargetManager::kMaxPending; ++i) {
                 SendSentence("$CDDSC,12," + std::to_string(211000000 + i) +
                              "0,12,06,00,1423108312,2019,,,S,E");
                 Tick(0.05);
             }
             EXPECT_EQ(manager.PendingCount(), CDSCTargetManager::kMaxPending);
             EXPECT_FALSE(manager.IsPending(211000000));
             ASSERT_EQ(DSCMarks().size(), 1u);
             EXPECT_EQ(DSCMarks()[0]->GetName(), "DSC:211000000");
         },
         1, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        published.seen.clear();
        notes.notifier.delivered.clear();
        c.run();
        EXPECT_EQ(published.seen.size(), c.published);
        EXPECT_EQ(DSCMarks().size(), c.marks);
        EXPECT_EQ(notes.notifier.delivered.size(), c.notifications);
    }
}

} // namespace
