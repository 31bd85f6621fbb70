// Tessaroute: the entry point only starts the application and runs its loop.
#include "app/shell/AppDelegate.h"
#include "app/shell/SingleInstance.h"
#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/platform/PlatformFolders.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kAlreadyRunning = "Tessaroute is already running with this data folder";
const char* const kNoLock = "Tessaroute cannot lock its data folder";

// A start that ends says why in a box before any window exists. Nobody may
// be there to answer (a start from a script): the box goes by itself.
int EndWithBox(QApplication& qtApp, QMessageBox::Icon icon, const char* text, const std::string& detail,
               int status)
{
    std::fprintf(stderr, "%s: %s\n", text, detail.c_str());
    auto* box = new QMessageBox(icon, "Tessaroute", text, QMessageBox::Ok);
    box->setInformativeText(QString::fromStdString(detail));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, &qtApp, &QCoreApplication::quit);
    QTimer::singleShot(10000, box, [box] { box->done(0); });
    box->show();
    qtApp.exec();
    return status;
}

// Said once, over the main window, when the start goes on with less than
// its usual protection.
void WarnOverMainWindow(const char* text, const std::string& detail)
{
    std::fprintf(stderr, "%s: %s\n", text, detail.c_str());
    QTimer::singleShot(0, [text = QString(text), detail = QString::fromStdString(detail)] {
        auto* box =
            new QMessageBox(QMessageBox::Warning, "Tessaroute", text, QMessageBox::Ok, DialogMainWindow());
        box->setInformativeText(detail);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("tessaroute");
    // Message boxes without a title of their own show it.
    QApplication::setApplicationDisplayName("Tessaroute");
    // One window per data folder: a later launch hands its links and
    // documents to the running one and ends.
    std::vector<std::string> arguments;
    for (const QString& argument : QApplication::arguments().mid(1))
        arguments.push_back(argument.toStdString());
    arguments = CSingleInstance::AbsoluteArguments(arguments);
    const std::string dataFolder = GetPlatformDataFolder();
    CSingleInstance instance(CSingleInstance::SocketPathFor(dataFolder));
#ifdef TESSA_TEST_HOOKS
    if (const char* delay = std::getenv("TESSA_TEST_SOCKET_DELAY_MS"))
        instance.SetSocketDelayForTesting(int(std::strtol(delay, nullptr, 10)));
#endif
    // The lock comes before the socket: only its holder listens, so of two
    // starts at once the one that loses never touches the other's socket.
    // A second process on the same folder would save over the first one's data.
    CDataFolderLock dataLock;
    std::string lockError;
    const CDataFolderLock::Result lock = dataLock.Take(dataFolder, lockError);
    if (lock == CDataFolderLock::Result::Failed)
        return EndWithBox(qtApp, QMessageBox::Critical, kNoLock,
                          lockError +
                              ".\n\nTessaroute ends without opening its marks, routes and tracks: without "
                              "the lock, a second copy on the same folder could save over them.",
                          1);
    if (lock == CDataFolderLock::Result::Held && !lockError.empty())
        std::fprintf(stderr, "%s\n", lockError.c_str());
    if (lock != CDataFolderLock::Result::Held) {
        // Busy: the holder may still be on its way to listening. Without
        // locks only the socket can tell whether a copy runs.
        std::string reason;
        const bool busy = lock == CDataFolderLock::Result::Busy;
        const CSingleInstance::Outcome outcome =
            instance.HandOver(arguments, busy ? CSingleInstance::kHandOverMilliseconds : 0, reason);
        if (outcome == CSingleInstance::Outcome::HandedOver)
            return 0;
        if (busy || outcome == CSingleInstance::Outcome::Failed) {
            const std::string what = arguments.empty() ? "Its window could not be brought to the front: "
                                                       : "The link or file could not be handed to it: ";
            return EndWithBox(qtApp, QMessageBox::Information, kAlreadyRunning,
                              what + reason + ".\n\nData folder: " + dataFolder, 1);
        }
    }
    if (lock == CDataFolderLock::Result::NoLocking)
        WarnOverMainWindow(kNoLock, lockError + ": a second copy started on this folder would not be "
                                                "stopped, and would save over the marks, routes and "
                                                "tracks of this one.");
    // What a killed process left: the writer's temporary files (only under
    // the lock: unlocked, they may be another copy's save in progress), its
    // private folders.
    if (lock == CDataFolderLock::Result::Held)
        SweepApplicationFolders();
    else
        SweepDeadTempFolders();
    AppDelegate app;
    instance.SetReceiver([&app](const std::vector<std::string>& urls) {
        app.applicationOpenURLs(urls);
        // A second start means the user is looking for the window.
        RaiseWindow(DialogMainWindow());
    });
    std::string socketError;
    if (!instance.Listen(socketError))
        WarnOverMainWindow("Links and files opened while Tessaroute runs cannot reach it", socketError + ".");
    app.applicationOpenURLs(arguments);
    app.Launch();
    return qtApp.exec();
}
