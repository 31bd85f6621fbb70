// The connection registry, the saved type and its fall-back, the type menu,
// the set-up continuation, the output filters and the reset hook.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/menus/MenuTree.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/NMEASimulation.h"
#include "instruments/connections/NetworkConnections.h"
#include "support/ConnectionDoubles.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

tessatest::RecordingConnection* gLastRecording = nullptr;
// A type of negative id: made by the factory, never offered in the menu.
constexpr int32_t kRecordingType = -7;
CConnectionType gRecordingType("Recording", kRecordingType, []() -> CDataConnection* {
    gLastRecording = new tessatest::RecordingConnection;
    return gLastRecording;
});

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = tessatest::MakeScratchDir("connections_registry");
        PersistantData::SetIniPaths(m_dir + "/t.ini", m_dir + "/t2.ini");
        PersistantData::LoadAll("t");
        ClearPendingCallbacksForTesting();
        gRecordingType.Register();
        CDataConnection::Settings().output_filters.clear();
    }
    void TearDown() override
    {
        StopGPSConnection();
        PersistantData::SetIniPaths("", "");
    }
    std::string m_dir;
    tessatest::RecordingConnectionEvents m_events;
};

std::string IniText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST_F(RegistryTest, EveryTypeIsRegisteredAndMadeByItsId)
{
    const std::pair<int32_t, const char*> types[] = {
        {70, "None"}, {73, "TCP/IP"}, {74, "Simulation File"}, {79, "UDP/IP"}, {83, "Serial"}};
    for (auto [id, name] : types) {
        SCOPED_TRACE(name);
        CConnectionType* type = CConnectionType::Find(id);
        ASSERT_NE(type, nullptr);
        EXPECT_STREQ(type->m_name, name);
        std::unique_ptr<CDataConnection> c(CDataConnection::Create(id));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->m_typeId, id);
    }
    EXPECT_EQ(CDataConnection::Create(0), nullptr);
    EXPECT_EQ(CDataConnection::Create(71), nullptr);
}

TEST_F(RegistryTest, UnusableSavedTypeStartsNoneAndStores70)
{
    for (int32_t saved : {0, 12345, -1}) {
        SCOPED_TRACE(saved);
        CDataConnection::Settings().gps_connection_type = saved;
        OpenSavedGPSConnection();
        ASSERT_NE(GetGPSConnection(), nullptr);
        EXPECT_EQ(GetGPSConnection()->m_typeId, kConnectionNone);
        EXPECT_EQ(CDataConnection::Settings().gps_connection_type, kConnectionNone);
        EXPECT_NE(IniText(m_dir + "/t.ini").find("CDataConnection:gps_connection_type=0x46"),
                  std::string::npos);
    }
}

TEST_F(RegistryTest, MenuListsFiveTypesInOrderWithTheSavedOneChecked)
{
    // The registry's order, which the menu and the GPS settings' pop-up show;
    // a second registration adds nothing.
    RegisterConnectionTypes();
    const std::vector<std::pair<int32_t, std::string>> registered = {
        {70, "None"}, {83, "Serial"}, {73, "TCP/IP"}, {79, "UDP/IP"}, {74, "Simulation File"}};
    std::vector<std::pair<int32_t, std::string>> listed;
    for (CConnectionType* t = CConnectionType::First(); t; t = t->m_next)
        if (t->m_id > 0)
            listed.emplace_back(t->m_id, t->m_name);
    EXPECT_EQ(listed, registered);

    CDataConnection::Settings().gps_connection_type = kConnectionUDP;
    std::unique_ptr<CMenuTree> menu = BuildConnectionTypeMenu();
    EXPECT_EQ(menu->Title(), "GPS Connection");
    std::vector<std::string> titles;
    std::string checked;
    for (const auto& item : menu->Root().Children()) {
        titles.push_back(item->Title());
        if (item->Kind() == CMenuTree::kChecked)
            checked += item->Title();
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"None", "Serial", "TCP/IP", "UDP/IP", "Simulation File"}));
    EXPECT_EQ(checked, "UDP/IP");
}

TEST_F(RegistryTest, SetUpCancelledKeepsTheTypeInUseConfirmedOpensAndStores)
{
    const std::string file = m_dir + "/sim.txt";
    std::ofstream(file) << "$GPZDA,1,2,3*00\n";
    tessatest::CScriptedPresenter presenter;
    presenter.SetImmediate(true);

    CDataConnection::Settings().gps_connection_type = kConnectionNone;
    presenter.CancelPanel();
    on_select_connection_type(*CConnectionType::Find(kConnectionSimulation));
    EXPECT_EQ(CDataConnection::Settings().gps_connection_type, kConnectionNone);
    ASSERT_NE(GetGPSConnection(), nullptr);
    EXPECT_EQ(GetGPSConnection()->m_typeId, kConnectionNone);
    EXPECT_EQ(m_events.resets, 0) << "a cancelled set-up opens nothing";

    presenter.ChoosePath(file);
    on_select_connection_type(*CConnectionType::Find(kConnectionSimulation));
    EXPECT_EQ(CDataConnection::Settings().gps_connection_type, kConnectionSimulation);
    EXPECT_EQ(CNMEASimulation::Settings().filename, file);
    EXPECT_GE(m_events.resets, 1);
    EXPECT_EQ(GetGPSConnection()->m_statusText, "");
    EXPECT_NE(IniText(m_dir + "/t.ini").find("gps_connection_type=0x4a"), std::string::npos);

    // A set-up cancelled over a working connection puts it back, open.
    presenter.CancelPanel();
    on_select_connection_type(*CConnectionType::Find(kConnectionSimulation));
    EXPECT_EQ(CDataConnection::Settings().gps_connection_type, kConnectionSimulation);
    ASSERT_NE(GetGPSConnection(), nullptr);
    EXPECT_EQ(GetGPSConnection()->m_typeId, kConnectionSimulation);
    EXPECT_EQ(GetGPSConnection()->m_statusText, "");
    EXPECT_NE(IniText(m_dir + "/t.ini").find("gps_connection_type=0x4a"), std::string::npos);

    // A file that is gone fails the set-up; the working file stays in use.
    presenter.ChoosePath(m_dir + "/absent.txt");
    on_select_connection_type(*CConnectionType::Find(kConnectionSimulation));
    EXPECT_EQ(CDataConnection::Settings().gps_connection_type, kConnectionSimulation);
    EXPECT_EQ(CNMEASimulation::Settings().filename, file);
    ASSERT_NE(GetGPSConnection(), nullptr);
    EXPECT_EQ(GetGPSConnection()->m_statusText, "");
}

TEST_F(RegistryTest, OutputFiltersDecideWhetherComposedSentencesAreSent)
{
    CDataConnection::Settings().gps_connection_type = kRecordingType;
    OpenSavedGPSConnection();
    ASSERT_EQ(GetGPSConnection(), gLastRecording);
    EXPECT_FALSE(gLastRecording->ReceivesRawRecords()) << "no filters: no raw records at all";
    EXPECT_FALSE(HasListeners<CNMEA_Raw>());

    CDataConnection::Settings().output_filters = {"Accept ECRMB", "reject GPRMC"};
    OpenSavedGPSConnection();
    tessatest::RecordingConnection* rec = gLastRecording;
    ASSERT_TRUE(rec->ReceivesRawRecords());
    CNMEA_Raw record;
    ClearNMEAOutput(record);
    std::strcpy(record.text, "$ECRMB,A,0.00,L,,,,,,,,,,A");
    EXPECT_TRUE(SendNMEASentence(record));
    ASSERT_EQ(rec->written.size(), 1u);
    EXPECT_EQ(rec->written[0].rfind("$ECRMB,A", 0), 0u);
    // Its own sentences never return to their source.
    std::strcpy(record.text, "$ECRMB,A,1.00,L,,,,,,,,,,A");
    record.connection = rec;
    SendNMEASentence(record);
    EXPECT_EQ(rec->written.size(), 1u);
    // A filter that rejects keeps the rest away.
    ClearNMEAOutput(record);
    std::strcpy(record.text, "$GPRMC,1");
    SendNMEASentence(record);
    EXPECT_EQ(rec->written.size(), 1u);
}

TEST_F(RegistryTest, ResetHookRunsOnOpenAndClose)
{
    CDataConnection::Settings().gps_connection_type = kConnectionNone;
    StartGPSConnection();
    EXPECT_EQ(m_events.resets, 1);
    StartGPSConnection(); // already open: only its launch hook
    EXPECT_EQ(m_events.resets, 1);
    StopGPSConnection();
    EXPECT_EQ(m_events.resets, 2);
    EXPECT_EQ(GetGPSConnection(), nullptr);
}

TEST_F(RegistryTest, CaptureIsPrivateAndNeverFollowsALink)
{
    ASSERT_TRUE(StartNMEACapture());
    const std::string path = GetNMEACapturePath();
    WriteNMEACapture("$GPRMC,1\r\n");
    StopNMEACapture(nullptr);
    EXPECT_EQ(IniText(path), "$GPRMC,1\n");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
    // A link planted in its place is refused, not followed.
    const std::string victim = m_dir + "/victim";
    std::ofstream(victim) << "keep";
    ::unlink(path.c_str());
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_FALSE(StartNMEACapture());
    EXPECT_EQ(IniText(victim), "keep");
    ::unlink(path.c_str());
    // Deleting a connection ends the capture.
    ASSERT_TRUE(StartNMEACapture());
    delete CDataConnection::Create(kConnectionNone);
    EXPECT_FALSE(IsNMEACaptureOn());
}

TEST_F(RegistryTest, OpenFailureShowsOnTheStatusLineAnEmptyStatusKeepsIt)
{
    SetStatusMessage("The saved map view could not be read");
    CDataConnection::Settings().gps_connection_type = kConnectionNone;
    OpenSavedGPSConnection();
    EXPECT_EQ(GetStatusMessage(), "The saved map view could not be read");

    CNMEASimulation::Settings().filename = m_dir + "/absent.txt";
    CDataConnection::Settings().gps_connection_type = kConnectionSimulation;
    OpenSavedGPSConnection();
    EXPECT_EQ(GetStatusMessage(), "Simulation file error");
    ClearStatusMessage();
}

TEST_F(RegistryTest, NetworkTypesWithoutTheirDialogAreConfirmedAtOnce)
{
    // No set-up dialog is filled in: choosing the type opens it straight away
    // (here on the wrong network, so nothing is contacted).
    SetWiFiSSIDForTesting("Harbour");
    CTCPIPConnection::Settings().network = "Sea";
    CUDPConnection::Settings().network = "Sea";
    for (int32_t id : {kConnectionTCPIP, kConnectionUDP}) {
        SCOPED_TRACE(id);
        CDataConnection::Settings().gps_connection_type = kConnectionNone;
        on_select_connection_type(*CConnectionType::Find(id));
        EXPECT_EQ(CDataConnection::Settings().gps_connection_type, id);
        ASSERT_NE(GetGPSConnection(), nullptr);
        EXPECT_EQ(GetGPSConnection()->m_statusText, "No GPS: wrong network");
        EXPECT_EQ(GetStatusMessage(), "No GPS: wrong network");
    }
    SetWiFiSSIDForTesting("");
    ClearStatusMessage();
}
