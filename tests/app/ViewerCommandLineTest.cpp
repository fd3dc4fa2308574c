#include "app/ViewerCommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "support/TestFiles.h"

namespace {

using TAction = TViewerCommandLine::TAction;

TEST(ViewerCommandLine, OptionsFilesAndMistakes) {
    // Run from a folder holding a file whose name looks like an option.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    test_files::WriteAll(QStringLiteral("--odd.jpg"), "x");
    const struct {
        QStringList arguments;
        TAction action;
        QStringList files;
        QString problem;
    } cases[] = {
        {{}, TAction::Run, {}, {}},
        {{"photo.jpg", "HB", "x"}, TAction::Run, {"photo.jpg", "HB", "x"}, {}},
        {{"-platform", "offscreen", "-x.jpg"}, TAction::Run, {"-platform", "offscreen", "-x.jpg"}, {}},
        {{"--help"}, TAction::Help, {}, {}},
        {{"photo.jpg", "--version"}, TAction::Version, {}, {}},
        {{"--version", "--bogus"}, TAction::Version, {}, {}},
        {{"--bogus", "--help"}, TAction::Misuse, {}, "unknown option '--bogus'"},
        {{"photo.jpg", "--missing.jpg"}, TAction::Misuse, {}, "unknown option '--missing.jpg'"},
        {{"--odd.jpg"}, TAction::Run, {"--odd.jpg"}, {}},
        {{"--", "--help", "--"}, TAction::Run, {"--help", "--"}, {}},
        {{"hot.png", "--", "--x.jpg"}, TAction::Run, {"hot.png", "--x.jpg"}, {}},
    };
    for (const auto& c : cases) {
        const TViewerCommandLine parsed = ParseViewerCommandLine(c.arguments);
        const std::string what = c.arguments.join(' ').toStdString();
        EXPECT_EQ(parsed.Action, c.action) << what;
        EXPECT_EQ(parsed.Arguments, c.files) << what;
        EXPECT_EQ(parsed.Problem, c.problem) << what;
    }
    QDir::setCurrent(before);
}

}  // namespace
