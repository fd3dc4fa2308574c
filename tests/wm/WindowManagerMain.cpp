// The main() of the tests that need a window manager. tests/wm/run-under-openbox.sh starts them
// on a virtual screen under openbox; run any other way they skip, saying why.

#include <gtest/gtest.h>

#include <QApplication>

#include "support/ui/ScriptedDialogs.h"
#include "wm/WindowManagerFixture.h"

int main(int argc, char** argv) {
    // Without a window manager there is no display to open either: an offscreen application
    // lets every test start and skip with the reason.
    if (!WindowManagerMissing().isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ScriptedDialogs::SetFailureReporter(
        [](const QString& fault) { ADD_FAILURE() << fault.toStdString(); });
    return RUN_ALL_TESTS();
}
