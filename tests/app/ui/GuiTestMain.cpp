// The main() of the GUI tests: one QApplication for all of them (headless by default), and
// every fault a ScriptedDialogs finds (an unexpected dialog, an answer never asked for) turned
// into a failure of the test that owned it.

#include <gtest/gtest.h>

#include <QApplication>

#include "support/ui/ScriptedDialogs.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ScriptedDialogs::SetFailureReporter(
        [](const QString& fault) { ADD_FAILURE() << fault.toStdString(); });
    return RUN_ALL_TESTS();
}
