// Tessaroute: the entry point only starts the application and runs its loop.
#include "app/shell/AppDelegate.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("tessaroute");
    AppDelegate app;
    app.Launch();
    return qtApp.exec();
}
