// One main for every test program: an offscreen QApplication exists for the
// tests that draw or open dialogs, the registries are filled as start-up
// fills them, and GoogleTest runs the rest.
#include "app/shell/Registries.h"
#include "support/RecordingNotifier.h"
#include "support/TestPaths.h"

#include <QApplication>
#include <QFontDatabase>
#include <QSettings>
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
    int result = 0;
    {
        QApplication app(argc, argv);
        // Text must render even on machines without a font configuration.
        QFontDatabase::addApplicationFont("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
        setlocale(LC_NUMERIC, "C");
        // Nothing of the user's is touched: Qt's own dialogs keep their history
        // in a scratch folder, and alarms play no sound (the sound theme would
        // write its cache in the home folder) unless a test installs a player.
        const std::string qtSettings = tessatest::MakeScratchDir("qt-settings");
        if (!qtSettings.empty())
            for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
                QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(qtSettings));
        tessatest::SilentAlarmSound silent;
        SetAlarmSound(&silent);
        RegisterApplicationTypes();
        result = RUN_ALL_TESTS();
        SetAlarmSound(nullptr);
    }
    // Scratch folders go with a passing run; a failing one keeps them to look at.
    if (result == 0)
        tessatest::RemoveScratchDirs();
    return result;
}
