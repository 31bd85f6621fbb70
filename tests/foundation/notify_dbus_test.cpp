// Desktop notifications over D-Bus, against a private bus daemon with a
// recording notification server on it. Skipped where no bus daemon exists.
#include "foundation/notify/DesktopNotifier_qt.h"
#include "foundation/notify/StatusLine.h"
#include "support/RecordingNotifier.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QVariantMap>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Answers like a notification server and records every call.
class FakeServer : public QDBusVirtualObject
{
public:
    struct Call
    {
        QString member;
        uint replaces = 0;
        uint closed = 0;
        QString title, body;
        QVariantMap hints;
        int timeout = -1;
    };
    std::vector<Call> calls;
    uint nextId = 100;
    std::mutex mutex; // for a server on a thread of its own

    QString introspect(const QString&) const override { return QString(); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        Call call;
        call.member = message.member();
        const QList<QVariant> args = message.arguments();
        if (call.member == "GetCapabilities") {
            connection.send(message.createReply(QStringList{"body", "sound"}));
        } else if (call.member == "Notify" && args.size() == 8) {
            call.replaces = args[1].toUInt();
            call.title = args[3].toString();
            call.body = args[4].toString();
            call.hints = qdbus_cast<QVariantMap>(args[6]);
            call.timeout = args[7].toInt();
            uint id = call.replaces ? call.replaces : nextId++;
            connection.send(message.createReply(id));
        } else if (call.member == "CloseNotification" && args.size() == 1) {
            call.closed = args[0].toUInt();
            connection.send(message.createReply());
        } else {
            return false;
        }
        const std::lock_guard<std::mutex> lock(mutex);
        calls.push_back(call);
        return true;
    }
    void EmitClosed(const QDBusConnection& connection, uint id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "NotificationClosed");
        signal << id << uint(2);
        connection.send(signal);
    }
};

bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 10000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class DesktopNotifier : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        if (daemon.isEmpty())
            GTEST_SKIP() << "no dbus-daemon on this machine";
        process.start(daemon, {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(process.waitForStarted(5000));
        ASSERT_TRUE(PumpUntil([&] { return process.canReadLine() || process.state() != QProcess::Running; }));
        address = QString::fromUtf8(process.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
        server =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "notify-test-server"));
        ASSERT_TRUE(server->isConnected());
        ASSERT_TRUE(server->registerService("org.freedesktop.Notifications"));
        ASSERT_TRUE(server->registerVirtualObject("/org/freedesktop/Notifications", &fake));
        client =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "notify-test-client"));
        ASSERT_TRUE(client->isConnected());
    }
    void TearDown() override
    {
        notifier.reset();
        if (client)
            QDBusConnection::disconnectFromBus("notify-test-client");
        if (server) {
            server->unregisterObject("/org/freedesktop/Notifications");
            QDBusConnection::disconnectFromBus("notify-test-server");
        }
        client.reset();
        server.reset();
        if (process.state() == QProcess::Running) {
            process.terminate();
            process.waitForFinished(5000);
        }
    }
    size_t Count(const QString& member)
    {
        const std::lock_guard<std::mutex> lock(fake.mutex);
        size_t n = 0;
        for (const auto& c : fake.calls)
            n += c.member == member;
        return n;
    }

    QProcess process;
    QString address;
    FakeServer fake;
    std::unique_ptr<QDBusConnection> server, client;
    std::unique_ptr<CDesktopNotifier_qt> notifier;
};

} // namespace

TEST_F(DesktopNotifier, SameIdentifierReplacesEvenBeforeTheServerAnswered)
{
    notifier = std::make_unique<CDesktopNotifier_qt>(*client);
    // The second post comes before the first answer: it must still replace.
    notifier->Deliver({"ff", "Anchor alarm", "Drifted 40 m"});
    notifier->Deliver({"ff", "Anchor alarm", "Drifted 60 m"});
    notifier->Deliver({"10", "AIS <Ship & Co>", "CPA"});
    ASSERT_TRUE(PumpUntil([&] { return Count("Notify") == 3 && notifier->WaitingCount() == 0; }));

    std::vector<FakeServer::Call> notifies;
    for (const auto& c : fake.calls)
        if (c.member == "Notify")
            notifies.push_back(c);
    ASSERT_EQ(notifies.size(), 3u);
    EXPECT_EQ(notifies[0].replaces, 0u);
    EXPECT_EQ(notifies[0].body, "Drifted 40 m");
    // The application plays the sound: the server must not play one too.
    EXPECT_FALSE(notifies[0].hints.contains("sound-name"));
    EXPECT_EQ(notifies[0].hints.value("suppress-sound").toBool(), true);
    EXPECT_EQ(notifies[0].hints.value("urgency").toUInt(), 2u);
    EXPECT_EQ(notifies[0].timeout, 0);
    // Notify for "10" went out at once; the replacement of "ff" after its answer.
    const FakeServer::Call& replacement = notifies[2].body == "Drifted 60 m" ? notifies[2] : notifies[1];
    EXPECT_EQ(replacement.body, "Drifted 60 m");
    EXPECT_EQ(replacement.replaces, 100u);
    EXPECT_EQ(notifier->TrackedCount(), 2u);
}

TEST_F(DesktopNotifier, RemoveClosesTheServersNotificationOnlyForItsIdentifier)
{
    notifier = std::make_unique<CDesktopNotifier_qt>(*client);
    notifier->Deliver({"ff", "A", "a"});
    ASSERT_TRUE(PumpUntil([&] { return Count("Notify") == 1 && notifier->WaitingCount() == 0; }));
    notifier->Deliver({"ee", "B", "b"});
    // Withdrawn before its answer came: closed as soon as the id is known.
    notifier->RemoveDelivered("ee");
    ASSERT_TRUE(PumpUntil([&] { return Count("CloseNotification") == 1; }));
    EXPECT_EQ(fake.calls.back().closed, 101u);
    EXPECT_EQ(notifier->TrackedCount(), 1u);

    notifier->RemoveDelivered("unknown");
    notifier->RemoveDelivered("ff");
    ASSERT_TRUE(PumpUntil([&] { return Count("CloseNotification") == 2; }));
    EXPECT_EQ(fake.calls.back().closed, 100u);
    EXPECT_EQ(notifier->TrackedCount(), 0u);
}

TEST_F(DesktopNotifier, DismissedByTheUserMeansTheNextPostIsNew)
{
    notifier = std::make_unique<CDesktopNotifier_qt>(*client);
    notifier->Deliver({"1", "A", "a"});
    ASSERT_TRUE(PumpUntil([&] { return Count("Notify") == 1 && notifier->WaitingCount() == 0; }));
    fake.EmitClosed(*server, 100);
    ASSERT_TRUE(PumpUntil([&] { return notifier->TrackedCount() == 0; }));
    notifier->Deliver({"1", "A", "again"});
    ASSERT_TRUE(PumpUntil([&] { return Count("Notify") == 2; }));
    EXPECT_EQ(fake.calls.back().replaces, 0u);
}

TEST_F(DesktopNotifier, AtTheEndEveryNotificationIsClosedBeforeTheCallReturns)
{
    // The server answers from a thread of its own while the application's waits.
    const char* const path = "/org/freedesktop/Notifications";
    QThread serverThread;
    server->unregisterObject(path);
    fake.moveToThread(&serverThread);
    serverThread.start();
    ASSERT_TRUE(server->registerVirtualObject(path, &fake));

    notifier = std::make_unique<CDesktopNotifier_qt>(*client);
    notifier->Deliver({"ff", "A", "a"});
    ASSERT_TRUE(PumpUntil([&] { return Count("Notify") == 1 && notifier->WaitingCount() == 0; }));
    notifier->Deliver({"ee", "B", "b"}); // its answer is still on its way
    notifier->RemoveAllDelivered();
    EXPECT_EQ(notifier->TrackedCount(), 0u);
    EXPECT_EQ(Count("CloseNotification"), 2u);

    server->unregisterObject(path);
    QThread* mainThread = QThread::currentThread();
    QMetaObject::invokeMethod(
        &fake, [&] { fake.moveToThread(mainThread); }, Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
}

TEST(DesktopNotifierNoBus, WithoutABusNothingIsSentOrKeptButTheAlarmIsHeard)
{
    CDesktopNotifier_qt notifier(QDBusConnection("no-such-connection"));
    EXPECT_FALSE(notifier.HasBus());
    notifier.Deliver({"ff", "A", "a"});
    notifier.RemoveDelivered("ff");
    EXPECT_EQ(notifier.TrackedCount(), 0u);

    tessatest::RecordingAlarmSound sound;
    IUserNotifier* notifierBefore = SetUserNotifier(&notifier);
    IAlarmSound* soundBefore = SetAlarmSound(&sound);
    PostUserNotification(0xff, "AIS collision alert, Class A", "Unknown name, CPA 40 m, 3 min");
    RemoveUserNotification(0xff);
    SetAlarmSound(soundBefore);
    SetUserNotifier(notifierBefore);
    EXPECT_EQ(sound.played, std::vector<std::string>{kAlarmSoundName});
    EXPECT_EQ(notifier.TrackedCount(), 0u);
}
