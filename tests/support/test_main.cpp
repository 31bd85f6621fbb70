// One main for every test program: an offscreen QApplication exists for the
// tests that draw or open dialogs, the registries are filled as start-up
// fills them, and GoogleTest runs the rest.
#include "app/shell/Registries.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QFontDatabase>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!getenv("XDG_RUNTIME_DIR")) {
        // Qt wants a private runtime folder; CI machines have no login session.
        std::string dir = "/tmp/tessa-runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Text must render even on machines without a font configuration.
    QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    setlocale(LC_NUMERIC, "C");
    RegisterApplicationTypes();
    const int result = RUN_ALL_TESTS();
    // Scratch folders go with a passing run; a failing one keeps them to look at.
    if (result == 0)
        tessatest::RemoveScratchDirs();
    return result;
}
