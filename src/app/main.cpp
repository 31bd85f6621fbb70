// Tessaroute: the entry point only starts the application and runs its loop.
#include "app/shell/Application.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("tessaroute");
    CTessarouteApp app;
    app.Start();
    CTessarouteApp::InstallTerminationHandler();
    const int result = qtApp.exec();
    app.Shutdown();
    return result;
}
