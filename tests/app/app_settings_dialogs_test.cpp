// The settings dialogs offscreen: the GPS dialog's vector, colour, type
// choice and status timer, the TCP and UDP set-up's network and port, the AIS
// alarm limits across a restart, and the preferences' one units message.
// TESSA_XVFB_LABEL
#include "ais/AISTargetManager.h"
#include "app/dialogs/tcp_udp_config.h"
#include "app/settings/SettingsText.h"
#include "app/settings/ais_settings.h"
#include "app/settings/gps_settings.h"
#include "app/settings/preferences.h"
#include "app/shell/ConnectionDialogs.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "geodesy/Units.h"
#include "instruments/DataConnection.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/NMEASimulation.h"
#include "instruments/connections/NetworkConnections.h"
#include "mapview/ownship/OverlayGPSPosition.h"
#include "mapview/ownship/OverlayMovingTarget.h"
#include "mapview/view/RasterleafView.h"
#include "support/ConnectionDoubles.h"
#include "support/InstalledPort.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace tessatest;

namespace {

template <class W> W* Outlet(QWidget* dialog, const char* name)
{
    W* w = dialog ? dialog->findChild<W*>(name) : nullptr;
    EXPECT_NE(w, nullptr) << name;
    return w;
}

struct UnitsCount : Listener<CUnits>
{
    void Notify(const CUnits&) override { ++n; }
    int n = 0;
};

// Chooses an item as the user does (the popups act on activation only).
void Choose(QComboBox* popup, int index)
{
    popup->setCurrentIndex(index);
    emit popup->activated(index);
}

class SettingsDialogs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PersistantData::SetIniPaths(m_dir + "/t.ini", m_dir + "/t2.ini");
        PersistantData::LoadAll("t");
        SetWiFiSSIDForTesting("Boat");
        m_presenter.SetImmediate(true);
    }
    void TearDown() override
    {
        StopGPSConnection();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetConnectionDialogParent(nullptr);
        SetWiFiSSIDForTesting("");
        CMovingTargetSettings::Global() = m_ship;
        CAISTargetManager::GetSettings() = m_ais;
        CTCPIPConnection::Settings().port = m_tcp[0];
        CTCPIPConnection::Settings().ip_address = m_tcp[1];
        CTCPIPConnection::Settings().network = m_tcp[2];
        CUDPConnection::Settings().port = m_udpPort;
        CUDPConnection::Settings().network = m_udpNetwork;
        static_cast<CUnits&>(CDefaultUnits::Get()) = m_units;
        CRasterleafView::GetSettings().changeScaleByZooming = m_view[0];
        CRasterleafView::GetSettings().useMagicMouse = m_view[1];
        PersistantData::SetIniPaths("", "");
        std::filesystem::remove_all(m_dir);
    }
    int Boxes() const
    {
        int n = 0;
        for (const auto& shown : m_presenter.Shown())
            n += shown.kind == CShownDialog::Box;
        return n;
    }
    static void Shot(QWidget* dialog, const char* name)
    {
        const QString folder = QString::fromStdString(std::string(TESSA_BUILD_DIR) + "/screenshots");
        QDir().mkpath(folder);
        EXPECT_TRUE(dialog->grab().save(folder + "/" + name));
    }

    const std::string m_dir = MakeScratchDir("settings_dialogs");
    const CMovingTargetSettings m_ship = CMovingTargetSettings::Global();
    const CAISTargetManager::Settings m_ais = CAISTargetManager::GetSettings();
    const std::string m_tcp[3] = {CTCPIPConnection::Settings().port, CTCPIPConnection::Settings().ip_address,
                                  CTCPIPConnection::Settings().network};
    const int32_t m_udpPort = CUDPConnection::Settings().port;
    const std::string m_udpNetwork = CUDPConnection::Settings().network;
    const CUnits m_units = CDefaultUnits::Get();
    const bool m_view[2] = {CRasterleafView::GetSettings().changeScaleByZooming,
                            CRasterleafView::GetSettings().useMagicMouse};
    CScriptedPresenter m_presenter;
};

} // namespace

TEST_F(SettingsDialogs, GpsDialogShowsTheVectorItemAndStoresVectorAndColourOnDone)
{
    // (on, minutes, tag shown)
    const std::tuple<bool, float, int> cases[] = {{true, 7, 5},     {true, 60, 60},  {true, 59.995f, 60},
                                                  {true, 0.99f, 1}, {true, 0.5f, 0}, {false, 30, 0}};
    for (const auto& [on, minutes, tag] : cases)
        EXPECT_EQ(gps_settings::VectorTagFor(on, minutes), tag) << minutes;

    CMovingTargetSettings::Global().showVector = true;
    CMovingTargetSettings::Global().vectorScale = 7;
    QPointer<gps_settings> dialog = new gps_settings();
    dialog->showInParent(nullptr);
    auto* vector = Outlet<QComboBox>(dialog, "vector_popup");
    EXPECT_EQ(vector->currentData().toInt(), 5);
    EXPECT_EQ(Outlet<QComboBox>(dialog, "connection_popup")->count(), 5);
    Shot(dialog, "gps_settings.png");
    Choose(vector, vector->findData(0));
    m_presenter.ChooseColour(1, 0, 0);
    Outlet<QPushButton>(dialog, "color_square")->click();
    EXPECT_TRUE(dialog->HasTimer());
    // Not before Done.
    EXPECT_TRUE(CMovingTargetSettings::Global().showVector);
    Outlet<QPushButton>(dialog, "done")->click();
    EXPECT_TRUE(dialog->isDialogEnded());
    EXPECT_FALSE(dialog->HasTimer());
    EXPECT_FALSE(CMovingTargetSettings::Global().showVector);
    EXPECT_EQ(CMovingTargetSettings::Global().ownColour.GetPacked(), GraphicsColor(1, 0, 0, 1).GetPacked());
    // Saved: a restart reads them back.
    CMovingTargetSettings::Global().showVector = true;
    PersistantData::LoadAll("t");
    EXPECT_FALSE(CMovingTargetSettings::Global().showVector);
    // Ticks after the end reach nothing.
    for (int i = 0; i < 2 * CHeartbeat::kTicksPerSecond; ++i)
        CHeartbeat::Tick();
}

TEST_F(SettingsDialogs, ChoosingATypeSwitchesTheConnectionAtOnceAndClosingFirstLeavesNoParent)
{
    CConnectionDialogs connectionDialogs;
    CInstalledPort<IConnectionUi> ui(connectionDialogs);
    LoopbackTcpPeer peer;
    CTCPIPConnection::Settings().network = "";
    CDataConnection::Settings().gps_connection_type = kConnectionNone;
    OpenSavedGPSConnection();
    ASSERT_NE(GetGPSConnection(), nullptr);

    QPointer<gps_settings> dialog = new gps_settings();
    dialog->showInParent(nullptr);
    EXPECT_EQ(Outlet<QLabel>(dialog, "status_label")->text().toStdString(), "Not connected");
    auto* popup = Outlet<QComboBox>(dialog, "connection_popup");
    Choose(popup, popup->findText("TCP/IP"));
    QPointer<UIViewControllerWithDialog> setup = dialog->child_dialog();
    ASSERT_TRUE(qobject_cast<tcp_udp_config*>(setup.data()));
    EXPECT_EQ(GetConnectionDialogParent(), dialog.data());
    Outlet<QLineEdit>(setup, "ipaddress")->setText("127.0.0.1");
    Outlet<QLineEdit>(setup, "port")->setText(QString::fromStdString(peer.PortText()));
    Shot(setup, "tcp_udp_config.png");
    Outlet<QPushButton>(setup, "done")->click();
    // Switched and connecting while the GPS dialog is still open.
    ASSERT_NE(GetGPSConnection(), nullptr);
    EXPECT_EQ(GetGPSConnection()->m_typeId, kConnectionTCPIP);
    EXPECT_TRUE(peer.Accept());
    EXPECT_FALSE(dialog->isDialogEnded());
    // The refresh once a second shows the new connection's status, once its
    // connect has completed and the status no longer changes.
    auto* tcp = dynamic_cast<CTCPIPConnection*>(GetGPSConnection());
    ASSERT_NE(tcp, nullptr);
    for (int i = 0; i < 5000 && tcp->Descriptor() < 0; ++i) {
        CHeartbeat::Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Outlet<QLabel>(dialog, "status_label")->setText("stale");
    for (int i = 0; i < CHeartbeat::kTicksPerSecond; ++i)
        CHeartbeat::Tick();
    EXPECT_EQ(Outlet<QLabel>(dialog, "status_label")->text().toStdString(),
              "Connected, waiting for a position fix");
    EXPECT_EQ(popup->currentText(), "TCP/IP");

    // The GPS dialog ends while a connection's dialog it opened is still up.
    Choose(popup, popup->findText("UDP/IP"));
    setup = dialog->child_dialog();
    ASSERT_TRUE(qobject_cast<tcp_udp_config*>(setup.data()));
    Outlet<QPushButton>(dialog, "cancel")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(GetConnectionDialogParent(), connectionDialogs.DialogParent());
    if (setup)
        Outlet<QPushButton>(setup, "done")->click();
    for (int i = 0; i < 2 * CHeartbeat::kTicksPerSecond; ++i)
        CHeartbeat::Tick();
}

TEST_F(SettingsDialogs, GpsStatusDescribesTheConnectionInUseNotTheFixLeftByTheOneBefore)
{
    m_presenter.SetImmediate(false);
    const std::string file = m_dir + "/run.nmea", savedFile = CNMEASimulation::Settings().filename;
    std::ofstream(file) << "no sentence\n";
    CDataConnection::Settings().gps_connection_type = kConnectionNone;
    OpenSavedGPSConnection();
    COverlayGPSPosition& own = COverlayGPSPosition::Global();
    own.m_fixStatus = CDataGPSPosition::kGPSFix; // left by the connection before
    QPointer<gps_settings> dialog = new gps_settings();
    dialog->showInParent(nullptr);
    auto* popup = Outlet<QComboBox>(dialog, "connection_popup");
    auto* status = Outlet<QLabel>(dialog, "status_label");
    Choose(popup, popup->findText("Simulation File"));
    // The file picker is open: nothing is in use yet.
    dialog->onOneSecTimer();
    EXPECT_EQ(status->text().toStdString(), "Not connected");
    m_presenter.ChoosePath(file);
    ASSERT_TRUE(m_presenter.Deliver());
    EXPECT_EQ(status->text().toStdString(), "Connected, waiting for a position fix (run.nmea)");
    FireEvent<CDataGPSPosition>(own); // a fix of the simulation
    dialog->onOneSecTimer();
    EXPECT_EQ(status->text().toStdString(), "Receiving position fixes (run.nmea)");
    dialog->onCancel();
    own.m_fixStatus = CDataGPSPosition::kNoFix;
    CNMEASimulation::Settings().filename = savedFile;
}

TEST_F(SettingsDialogs, PortsAreReadFromTheirLeadingDigitsAndOthersAreRefused)
{
    // (tcp, text, stored port; 0: refused, nothing written)
    const std::tuple<bool, const char*, int> cases[] = {
        {false, "2000x", 2000}, {false, " 8080", 8080}, {false, "70000", 0},    {false, "abc", 0},
        {false, "0", 0},        {false, "", 0},         {true, "39150", 39150}, {true, "65536", 0},
        {true, "x1", 0},        {true, "65535", 65535},
    };
    for (const auto& [tcp, text, stored] : cases) {
        SCOPED_TRACE(text);
        CTCPIPConnection::Settings().port = "1111";
        CUDPConnection::Settings().port = 1111;
        CTCPIPConnection connection;
        CUDPConnection udp;
        QPointer<tcp_udp_config> dialog =
            tcp ? new tcp_udp_config(&connection, nullptr) : new tcp_udp_config(nullptr, &udp);
        dialog->showInParent(nullptr);
        EXPECT_EQ(Outlet<QLineEdit>(dialog, "ipaddress")->isHidden(), !tcp);
        Outlet<QLineEdit>(dialog, "port")->setText(text);
        const int boxes = Boxes();
        Outlet<QPushButton>(dialog, "done")->click();
        const int now = tcp ? std::stoi(CTCPIPConnection::Settings().port) : CUDPConnection::Settings().port;
        EXPECT_EQ(dialog->isDialogEnded(), stored != 0);
        EXPECT_EQ(Boxes(), boxes + (stored == 0));
        EXPECT_EQ(now, stored != 0 ? stored : 1111);
        if (!dialog->isDialogEnded())
            dialog->onCancel();
    }
    int port = 0;
    EXPECT_FALSE(NSettingsText::ParsePort("99999999999999999999", port));
}

TEST_F(SettingsDialogs, AnotherNetworkDisablesDoneUntilTickedAndSavingStoresTheCurrentOne)
{
    for (bool udp : {false, true}) {
        CTCPIPConnection::Settings().network = "Home";
        CUDPConnection::Settings().network = "Home";
        CTCPIPConnection tcpConnection;
        CUDPConnection udpConnection;
        QPointer<tcp_udp_config> dialog =
            udp ? new tcp_udp_config(nullptr, &udpConnection) : new tcp_udp_config(&tcpConnection, nullptr);
        dialog->showInParent(nullptr);
        auto* use = Outlet<QCheckBox>(dialog, "use_this_network");
        auto* done = Outlet<QPushButton>(dialog, "done");
        EXPECT_FALSE(use->isChecked());
        EXPECT_FALSE(done->isEnabled());
        use->click();
        EXPECT_TRUE(done->isEnabled());
        done->click();
        EXPECT_TRUE(dialog->isDialogEnded());
        EXPECT_EQ(udp ? CUDPConnection::Settings().network : CTCPIPConnection::Settings().network, "Boat");
    }
}

TEST_F(SettingsDialogs, AisLimitsRefuseBadNumbersAndSurviveARestart)
{
    // (cpa distance, class B distance, minutes; accepted)
    const std::tuple<const char*, const char*, const char*, bool> cases[] = {
        {"500", "150", "2.5", true},  {"abc", "150", "10", false}, {"500", "-1", "10", false},
        {"500", "150", "nan", false}, {"inf", "150", "10", false}, {"500", "150", "", false},
    };
    for (const auto& [distance, classB, minutes, accepted] : cases) {
        SCOPED_TRACE(std::string(distance) + " " + classB + " " + minutes);
        CAISTargetManager::Settings& s = CAISTargetManager::GetSettings();
        s.alarmDistance = 300;
        s.cpaClassBDistance = 100;
        s.alarmTime = 1200;
        s.alarmBeep = true;
        QPointer<ais_settings> dialog = new ais_settings();
        dialog->showInParent(nullptr);
        EXPECT_EQ(Outlet<QLineEdit>(dialog, "cpa_time")->text(), "20");
        Outlet<QCheckBox>(dialog, "collision_alarm")->setChecked(false);
        Outlet<QLineEdit>(dialog, "cpa_distance")->setText(distance);
        Outlet<QLineEdit>(dialog, "class_B_distance")->setText(classB);
        Outlet<QLineEdit>(dialog, "cpa_time")->setText(minutes);
        Outlet<QPushButton>(dialog, "done")->click();
        EXPECT_EQ(dialog->isDialogEnded(), accepted);
        EXPECT_EQ(s.alarmTime, accepted ? 150.f : 1200.f);
        EXPECT_EQ(s.alarmDistance, accepted ? 500.f : 300.f);
        EXPECT_EQ(s.alarmBeep, !accepted);
        if (!accepted)
            dialog->onCancel();
    }
    // Saved by Done: what was stored comes back at the next start.
    CAISTargetManager::GetSettings() = CAISTargetManager::Settings();
    PersistantData::LoadAll("t");
    EXPECT_EQ(CAISTargetManager::GetSettings().alarmTime, 150.f);
    EXPECT_EQ(CAISTargetManager::GetSettings().cpaClassBDistance, 150.f);
    EXPECT_FALSE(CAISTargetManager::GetSettings().alarmBeep);
    QPointer<ais_settings> shown = new ais_settings();
    shown->showInParent(nullptr);
    Shot(shown, "ais_settings.png");
    shown->onCancel();
}

TEST_F(SettingsDialogs, PreferencesStoreEveryChoiceAndPublishTheUnitsOnce)
{
    UnitsCount count;
    CDefaultUnits::Get().SetUnitSystem(CUnits::kStatute);
    CDefaultUnits::Get().m_bearings = CUnits::kBearingsTrue;
    QPointer<preferences> dialog = new preferences();
    dialog->showInParent(nullptr);
    auto* formats = Outlet<QComboBox>(dialog, "popup_position_format");
    int registered = 0;
    for (auto* f = CUnits::PositionFormatType::First(); f; f = f->Next())
        EXPECT_EQ(formats->itemText(registered++).toStdString(), f->Name());
    EXPECT_EQ(formats->count(), registered);
    EXPECT_EQ(formats->currentText().toStdString(), CDefaultUnits::Get().PositionFormat().Name());
    Shot(dialog, "preferences.png");
    Outlet<QComboBox>(dialog, "popup_units")->setCurrentIndex(CUnits::kMetric);
    Outlet<QComboBox>(dialog, "popup_bearings")->setCurrentIndex(1);
    formats->setCurrentIndex(formats->findText("Degrees"));
    Outlet<QCheckBox>(dialog, "check_change_scale")->setChecked(!m_view[0]);
    Outlet<QCheckBox>(dialog, "check_use_magic_mouse")->setChecked(!m_view[1]);
    Outlet<QPushButton>(dialog, "done")->click();
    EXPECT_EQ(count.n, 1);
    const CUnits& units = CDefaultUnits::Get();
    EXPECT_EQ(units.m_distanceUnit, CUnits::kKilometres);
    EXPECT_EQ(units.m_bearings, CUnits::kBearingsMagnetic);
    EXPECT_EQ(units.PositionFormat().Name(), "Degrees");
    EXPECT_EQ(CRasterleafView::GetSettings().changeScaleByZooming, !m_view[0]);
    EXPECT_EQ(CRasterleafView::GetSettings().useMagicMouse, !m_view[1]);
    // Both settings objects reached the file.
    EXPECT_FALSE(CDefaultUnits::Settings().IsModified());
    EXPECT_FALSE(CRasterleafView::GetSettings().IsModified());
}
