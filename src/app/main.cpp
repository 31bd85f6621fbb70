// Tessaroute: the entry point only starts the application and runs its loop.
#include "app/shell/AppDelegate.h"
#include "app/shell/SingleInstance.h"
#include "foundation/dialogs/WindowPlacement.h"
#include "foundation/dialogs/global_dialog_window.h"
#include "foundation/platform/PlatformFolders.h"

#include <QApplication>

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
