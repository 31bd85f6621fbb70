// TCP/IP and UDP connections against loopback peers (127.0.0.1, ports the
// system picks): lines in, sentences out, the limits, a closed peer, the
// failures of opening, a cancelled connect and the AIS target list.
// TESSA_TSAN_LABEL: the connect step runs on a job thread.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/events/Heartbeat.h"
#include "foundation/jobs/progress_dialog.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformServices.h"
#include "foundation/settings/PersistantData.h"
#include "foundation/util/Files.h"
#include "foundation/util/Folders.h"
#include "instruments/connections/ConnectionRegistry.h"
#include "instruments/connections/NetworkConnections.h"
#include "instruments/nmea/GPSSentences.h"
#include "support/ConnectionDoubles.h"
#include "support/QtAdaptors.h"
#include "support/ScriptedPresenter.h"
#include "support/TestPaths.h"
#include "support/loopback/LoopbackServer.h"
#include "support/packagewriter/JobTestSupport.h"

#include <QWidget>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class NetworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ClearPendingCallbacksForTesting();
        SetWiFiSSIDForTesting("TestNet");
        auto& tcp = CTCPIPConnection::Settings();
        tcp.ip_address = "127.0.0.1";
        tcp.network = "TestNet";
        tcp.instant_acquisition = false;
        CUDPConnection::Settings().network = "TestNet";
        CUDPConnection::s_bindAddress = htonl(INADDR_LOOPBACK);
    }
    void TearDown() override
    {
        SetWiFiSSIDForTesting("");
        CTCPIPConnection::s_aisDataPort = "39150";
        CTCPIPConnection::s_aisListPort = 39151;
    }
    tessatest::RecordingConnectionEvents m_events;
    // Opens a TCP connection to `peer` and accepts it.
    static bool Connect(CTCPIPConnection& c, tessatest::LoopbackTcpPeer& peer)
    {
        CTCPIPConnection::Settings().port = peer.PortText();
        return c.Open() && c.Descriptor() >= 0 && peer.Accept();
    }
    // Ticks until `bytes` arrived in all, or a second passed without any.
    template <class C> static void TickUntil(C& c, uint64_t bytes)
    {
        auto last = std::chrono::steady_clock::now();
        uint64_t seen = c.Reader().BytesReceived();
        while (c.Reader().BytesReceived() < bytes &&
               std::chrono::steady_clock::now() - last < std::chrono::seconds(1)) {
            c.OnTick();
            if (c.Reader().BytesReceived() != seen) {
                seen = c.Reader().BytesReceived();
                last = std::chrono::steady_clock::now();
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
    tessatest::ScopedConnectionCalls m_calls;
};

} // namespace

TEST_F(NetworkTest, LogsSentInRandomChunksGiveWhatTheFileGives)
{
    TESSA_REQUIRE_TESTDATA("nmea");
    std::mt19937 random(19);
    for (const char* name : {"tcp-test.log", "bundg_zeus_9.log"}) {
        SCOPED_TRACE(name);
        const std::string data = ReadAll(tessatest::TestDataFile(std::string("nmea/") + name));
        ASSERT_FALSE(data.empty());
        tessatest::RawLineRecorder straight;
        {
            std::istringstream in(data);
            for (std::string line; std::getline(in, line);)
                DispatchNMEALine(line.data(), nullptr);
        }
        std::vector<std::string> expected = straight.lines;
        straight.lines.clear();

        tessatest::LoopbackTcpPeer peer;
        CTCPIPConnection c;
        ASSERT_TRUE(Connect(c, peer));
        c.StopRawRecords();
        tessatest::RawLineRecorder received;
        std::uniform_int_distribution<size_t> size(1, 1500);
        uint64_t sent = 0;
        for (size_t pos = 0; pos < data.size();) {
            size_t n = std::min(size(random), data.size() - pos);
            ASSERT_TRUE(peer.Send(data.substr(pos, n)));
            pos += n;
            sent += n;
            TickUntil(c, sent);
        }
        ASSERT_EQ(c.Reader().BytesReceived(), sent);
        EXPECT_EQ(received.lines, expected);
        EXPECT_GT(expected.size(), 5u);
    }
}

TEST_F(NetworkTest, TcpLimitsAClosedPeerAndWrites)
{
    tessatest::LoopbackTcpPeer peer;
    CTCPIPConnection c;
    ASSERT_TRUE(Connect(c, peer));
    c.StopRawRecords();
    tessatest::RawLineRecorder received;
    const std::string line = tessatest::WithChecksum("GPTXT,1");

    // 150 lines at once: the newest 100 are dispatched.
    std::string burst;
    for (int i = 0; i < 150; ++i)
        burst += line + "\r\n";
    ASSERT_LT(burst.size(), CConnectionReader::kBufferSize);
    ASSERT_TRUE(peer.Send(burst));
    TickUntil(c, burst.size());
    EXPECT_EQ(received.lines.size(), 100u);

    // A backlog of several full reads: read whole, its newest 100 lines dispatched.
    received.lines.clear();
    std::string backlog;
    while (backlog.size() + line.size() + 2 <= 2 * CConnectionReader::kBufferSize)
        backlog += line + "\r\n";
    ASSERT_TRUE(peer.Send(backlog));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    c.OnTick();
    EXPECT_EQ(c.Reader().PendingBytes(), 0u);
    EXPECT_LT(received.lines.size(), backlog.size() / (line.size() + 2));
    TickUntil(c, burst.size() + backlog.size());

    // Sentences go out to the peer.
    const std::string rmb = tessatest::WithChecksum("ECRMB,A,0.00,L,,,,,,,,,,A") + "\r\n";
    EXPECT_TRUE(c.Write(rmb.c_str()));
    EXPECT_EQ(peer.Receive(), rmb);

    // The peer closes: the connection says so and stops reading.
    peer.CloseConnection();
    for (int i = 0; i < 100 && c.Descriptor() >= 0; ++i) {
        c.OnTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(c.Descriptor(), -1);
    EXPECT_EQ(c.m_statusText, "Connection closed");
    // Writing to a closed peer fails instead of raising SIGPIPE.
    EXPECT_FALSE(c.Write(rmb.c_str()));
}

TEST_F(NetworkTest, AFloodFasterThanTheTicksShowsTheNewestFixAndTellsWhatWasDropped)
{
    // 50,000 lines a second for two seconds, ticked at the heartbeat's pace.
    constexpr int kLines = 100000;
    constexpr int kLinesPerBatch = 500; // every 10 ms
    auto line = [](int i) {
        char lat[32];
        std::snprintf(lat, sizeof lat, "10%02d.%05d", i / 100000, i % 100000);
        return tessatest::WithChecksum(std::string("GPRMC,120000.00,A,") + lat +
                                       ",N,00500.000,E,0.0,0.0,010124,,,A");
    };
    struct Fixes : Listener<CNMEA_GPS::RMC>
    {
        void Notify(const CNMEA_GPS::RMC& s) override { last = s.m_latitude; }
        double last = 0;
    } fixes;
    struct Told : IStatusLineView
    {
        void ShowStatusText(const std::string& text) override { texts.push_back(text); }
        void HideStatusLine() override { texts.push_back("-"); }
        std::vector<std::string> texts;
    } told;

    tessatest::LoopbackTcpPeer peer;
    CTCPIPConnection c;
    ASSERT_TRUE(Connect(c, peer));
    c.StopRawRecords();
    tessatest::RawLineRecorder received;
    IStatusLineView* before = SetStatusLineView(&told);
    told.texts.clear();

    uint64_t sentBytes = 0;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < kLines;) {
            std::string batch;
            for (int k = 0; k < kLinesPerBatch; ++k, ++i)
                batch += line(i) + "\r\n";
            if (!peer.Send(batch))
                break;
            sentBytes += batch.size();
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
        done = true;
    });
    while (!done) {
        c.OnTick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / CHeartbeat::kTicksPerSecond));
    }
    sender.join();
    TickUntil(c, sentBytes);
    c.OnTick(); // nothing more: the overload is over
    SetStatusLineView(before);
    ASSERT_EQ(c.Reader().BytesReceived(), sentBytes);

    // Whole lines only, in the order sent, the last one among them.
    ASSERT_FALSE(received.lines.empty());
    int next = 0;
    std::vector<std::string> handedOn;
    for (std::string got : received.lines) {
        got.erase(got.find_last_not_of("\r\n") + 1); // records carry their line end
        handedOn.push_back(got);
    }
    for (const std::string& got : handedOn) {
        while (next < kLines && line(next) != got)
            ++next;
        ASSERT_LT(next, kLines) << "not sent, or out of order: " << got;
    }
    EXPECT_EQ(handedOn.back(), line(kLines - 1));
    EXPECT_NEAR(fixes.last, 10 + (kLines - 1) * 1e-5 / 60, 1e-9);

    // Every dropped line is counted, and the count reaches the status line:
    // each overload tells what it dropped so far until it is over.
    const uint64_t dropped = c.Reader().LinesDropped();
    EXPECT_EQ(dropped + received.lines.size(), uint64_t(kLines));
    uint64_t toldDropped = 0, overload = 0;
    for (const std::string& text : told.texts) {
        unsigned long long n = 0;
        if (std::sscanf(text.c_str(), "Input too fast: %llu older sentences dropped", &n) == 1) {
            EXPECT_GE(n, overload);
            overload = n;
        } else {
            toldDropped += overload;
            overload = 0;
        }
    }
    EXPECT_EQ(toldDropped + overload, dropped);
    EXPECT_GT(dropped, 0u);
}

TEST_F(NetworkTest, WritesToAPeerThatLeftNeverRaiseSigpipe)
{
    tessatest::LoopbackTcpPeer peer;
    CTCPIPConnection c;
    ASSERT_TRUE(Connect(c, peer));
    peer.CloseConnection();
    const std::string rmb = tessatest::WithChecksum("ECRMB,A,0.00,L,,,,,,,,,,A") + "\r\n";
    // The first write may still go; the later ones meet the reset peer.
    for (int i = 0; i < 20; ++i) {
        c.Write(rmb.c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(c.Write(rmb.c_str()));
}

TEST_F(NetworkTest, OpenFailuresGiveTheirTexts)
{
    int refusedPort;
    {
        tessatest::LoopbackTcpPeer gone;
        refusedPort = gone.Port();
    }
    struct Case
    {
        const char* address;
        std::string port;
        const char* network;
        const char* status;
    };
    const Case cases[] = {
        {"127.0.0.1", std::to_string(refusedPort), "TestNet", "Failed to connect to network socket"},
        {"999.1.1.1", "39150", "TestNet", "Bad network address"},
        {"127.0.0.1", "port", "TestNet", "Bad network address"},
        {"127.0.0.1", "39150", "OtherNet", "No GPS: wrong network"},
        {"10.0.0.1", "39150", "TestNet", "Failed to connect to network socket"}, // refused by the test seam
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.status);
        auto& s = CTCPIPConnection::Settings();
        s.ip_address = k.address;
        s.port = k.port;
        s.network = k.network;
        CTCPIPConnection c;
        c.Open();
        EXPECT_EQ(c.m_statusText, k.status);
        EXPECT_EQ(c.Descriptor(), -1);
    }
    CUDPConnection::Settings().network = "OtherNet";
    CUDPConnection u;
    EXPECT_FALSE(u.Open());
    EXPECT_EQ(u.m_statusText, "No GPS: wrong network");
}

TEST_F(NetworkTest, CancellingAConnectThatCannotCompleteEndsIt)
{
    tessatest::LoopbackTcpPeer full(true);
    CTCPConnectParams params;
    params.address = "127.0.0.1";
    params.port = full.PortText();
    // No limit that a test could reach: only the cancel can end this connect.
    params.connectLimitMs = 24 * 3600 * 1000;
    std::atomic<bool> cancel{false};
    CTCPConnectResult result;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel.store(true);
    });
    TCPConnectStep(params, cancel, result);
    canceller.join();
    EXPECT_EQ(result.fd, -1);
    EXPECT_EQ(result.status, "Failed to connect to network socket");
}

// The dialog's parent, as the application's window would be.
struct WindowConnectionUi : IConnectionUi
{
    WindowConnectionUi() { InstallPort<IConnectionUi>(this); }
    ~WindowConnectionUi() override { InstallPort<IConnectionUi>(nullptr); }
    QWidget* DialogParent() override { return &window; }
    QWidget window;
};

TEST_F(NetworkTest, CancellingTheOpeningDialogEndsTheConnectAndRunsTheContinuation)
{
    tessatest::CFakeKeepAwake awake;
    tessatest::CQtAdaptors qt; // the progress dialog shows in the window
    tessatest::CScriptedPresenter presenter;
    WindowConnectionUi ui;
    tessatest::LoopbackTcpPeer full(true);
    CTCPIPConnection::Settings().port = full.PortText();
    CTCPIPConnection c;
    ASSERT_TRUE(c.Open());
    auto* dialog = ui.window.findChild<progress_dialog*>();
    ASSERT_NE(dialog, nullptr) << "the opening shows its progress in the window";
    EXPECT_EQ(dialog->MessageText(), "Opening TCP/IP Connection...");
    EXPECT_TRUE(c.m_statusText.empty()) << "nothing is known while connecting";
    dialog->onCancel();
    // The continuation is what fills in the status and the descriptor.
    ASSERT_TRUE(tessatest::PumpUntil([&] { return !c.m_statusText.empty(); }));
    EXPECT_EQ(c.m_statusText, "Failed to connect to network socket");
    EXPECT_EQ(c.Descriptor(), -1);
    EXPECT_TRUE(tessatest::PumpUntil([&] { return ui.window.findChild<progress_dialog*>() == nullptr; }));
    EXPECT_EQ(awake.acquired, awake.released);
    presenter.DeliverAll();
}

TEST_F(NetworkTest, TargetListFetchedOnlyForTheDevicePortWithInstantAcquisition)
{
    tessatest::LoopbackServer server;
    ASSERT_NE(server.Port(), 0) << server.Error();
    const std::string list = "<Watchmate><Target/></Watchmate>";
    server.AddFile("/targets/getTargets", list);
    CTCPIPConnection::s_aisListPort = server.Port();
    static std::string imported;
    static std::string importedPath;
    m_events.onImport = [](const std::string& path) {
        importedPath = path;
        imported = ReadAll(path);
    };
    struct Case
    {
        const char* name;
        bool instant;
        bool devicePort;
        bool fetched;
    };
    const Case cases[] = {
        {"device port with instant acquisition", true, true, true},
        {"another port", true, false, false},
        {"without instant acquisition", false, true, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        imported.clear();
        importedPath.clear();
        server.ClearRequests();
        tessatest::LoopbackTcpPeer peer;
        CTCPIPConnection::s_aisDataPort = k.devicePort ? peer.PortText() : "39150";
        CTCPIPConnection::Settings().instant_acquisition = k.instant;
        CTCPIPConnection c;
        ASSERT_TRUE(Connect(c, peer));
        EXPECT_EQ(server.RequestCount(), k.fetched ? 1u : 0u);
        EXPECT_EQ(imported, k.fetched ? list : "");
        if (k.fetched) {
            EXPECT_EQ(importedPath.rfind(GetTempFolder() + "/targets-", 0), 0u);
            EXPECT_NE(::access(importedPath.c_str(), F_OK), 0) << "removed after reading";
        }
        EXPECT_TRUE(c.TargetListPath().empty());
    }

    // A list larger than 8 MiB is abandoned unread, and its file removed.
    tessatest::LoopbackServer huge;
    huge.AddVirtualFile("/targets/getTargets", CTCPIPConnection::kMaxTargetListBytes + (1 << 20));
    CTCPIPConnection::s_aisListPort = huge.Port();
    tessatest::LoopbackTcpPeer peer;
    CTCPIPConnection::s_aisDataPort = peer.PortText();
    CTCPIPConnection::Settings().instant_acquisition = true;
    imported.clear();
    importedPath.clear();
    CTCPIPConnection c;
    ASSERT_TRUE(Connect(c, peer));
    EXPECT_EQ(huge.RequestCount(), 1u);
    EXPECT_TRUE(importedPath.empty());
    EXPECT_TRUE(FindFiles(GetTempFolder(), "targets-*").empty());
}

TEST_F(NetworkTest, UdpDatagramsBindFailuresAndNoWrites)
{
    const int port = tessatest::FreeUdpPort();
    ASSERT_NE(port, 0);
    CUDPConnection::Settings().port = port;
    CUDPConnection c;
    ASSERT_TRUE(c.Open()) << c.m_statusText;
    c.StopRawRecords();
    tessatest::RawLineRecorder received;
    const std::string a = tessatest::WithChecksum("GPZDA,120000,01,01,2024,,");
    const std::string b = tessatest::WithChecksum("GPZDA,120001,01,01,2024,,");
    tessatest::UdpSender sender;
    // The last sentence of a datagram needs no line end.
    ASSERT_TRUE(sender.Send(port, a + "\r\n" + b));
    ASSERT_TRUE(sender.Send(port, ""));
    ASSERT_TRUE(sender.Send(port, b + "\r\n"));
    TickUntil(c, a.size() + 2 + 2 * b.size() + 2);
    EXPECT_EQ(received.lines, (std::vector<std::string>{a + "\r\n", b + "\r\n", b + "\r\n"}));
    EXPECT_GE(c.Descriptor(), 0) << "an empty datagram closes nothing";
    EXPECT_FALSE(c.Write((a + "\r\n").c_str()));

    // A port held by a socket of another program (without address reuse),
    // and ports that cannot exist.
    c.Close();
    int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    for (int bad : {port, 0, 70000, -5}) {
        SCOPED_TRACE(bad);
        CUDPConnection::Settings().port = bad;
        CUDPConnection other;
        EXPECT_FALSE(other.Open());
        char text[64];
        std::snprintf(text, sizeof text, "Failed to bind UDP port %d", bad);
        EXPECT_EQ(other.m_statusText, text);
        EXPECT_EQ(other.Descriptor(), -1);
    }
    ::close(holder);
}
