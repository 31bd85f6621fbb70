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
    CSingleInstance instance(CSingleInstance::SocketPathFor(GetPlatformDataFolder()));
    switch (instance.HandOverOrListen(arguments)) {
    case CSingleInstance::Outcome::HandedOver:
        return 0;
    case CSingleInstance::Outcome::NoAnswer:
        return 1;
    case CSingleInstance::Outcome::First:
        break;
    }
    // The data folder's lock guards the stores whatever the socket did: a
    // second process on the same folder would save over the first one's data.
    const std::string dataFolder = GetPlatformDataFolder();
    CDataFolderLock dataLock;
    std::string lockError;
    if (!dataLock.Take(dataFolder, lockError)) {
        const char* text = "Tessaroute is already running with this data folder";
        std::fprintf(stderr, "%s: %s\n", text, lockError.c_str());
        auto* box = new QMessageBox(QMessageBox::Information, "Tessaroute", text, QMessageBox::Ok);
        box->setInformativeText(QString::fromStdString(dataFolder));
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, &qtApp, &QCoreApplication::quit);
        // Nobody may be there to answer (a start from a script): the box goes by itself.
        QTimer::singleShot(10000, box, [box] { box->done(0); });
        box->show();
        qtApp.exec();
        return 0;
    }
    if (!lockError.empty())
        std::fprintf(stderr, "Running without the data folder's lock: %s\n", lockError.c_str());
    // What a killed process left: the writer's temporary files, its private folders.
    SweepWriterLeftovers(dataFolder);
    SweepWriterLeftovers(dataFolder + "/basemaps");
    SweepDeadTempFolders();
    AppDelegate app;
    instance.SetReceiver([&app](const std::vector<std::string>& urls) {
        app.applicationOpenURLs(urls);
        // A second start means the user is looking for the window.
        RaiseWindow(DialogMainWindow());
    });
    app.applicationOpenURLs(arguments);
    app.Launch();
    return qtApp.exec();
}
