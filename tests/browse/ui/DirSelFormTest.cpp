// The folder chooser window: its texts, the folder it opens on, and the working folder it
// leaves behind after OK and after Cancel.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include "browse/ui/DirSelForm.h"
#include "support/ui/ScriptedDialogs.h"

namespace {

class DirSelForm : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FOldWorkingFolder = QDir::currentPath();
        ASSERT_TRUE(QDir().mkpath(Path("one")));
        ASSERT_TRUE(QDir().mkpath(Path("two/.hidden")));
    }
    void TearDown() override { QDir::setCurrent(FOldWorkingFolder); }
    QString Path(const QString& name) const { return FDir.filePath(name); }

    // In the tree, the way a user's click gets there.
    static void PickInTree(TDirSelForm& form, const QString& folder) {
        auto* model = qobject_cast<QFileSystemModel*>(form.DirectoryTree->model());
        ASSERT_NE(model, nullptr);
        const QModelIndex index = model->index(folder);
        ASSERT_TRUE(index.isValid()) << folder.toStdString();
        form.DirectoryTree->setCurrentIndex(index);
    }

    QTemporaryDir FDir;
    QString FOldWorkingFolder;
    ScriptedDialogs FDialogs;  // the window must not take the folder questions from these
};

TEST_F(DirSelForm, CaptionTextsAndButtons) {
    TDirSelForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Select Directory"));
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Pick directory from"));
    EXPECT_EQ(form.Label2->text(), QStringLiteral("which to start processing"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("image files"));
    EXPECT_EQ(form.OKButton->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.CancelButton->text(), QStringLiteral("Cancel"));
    EXPECT_GE(form.DriveComboBox->findText(QDir::rootPath()), 0);
    // Only folders are offered, hidden ones included.
    auto* model = qobject_cast<QFileSystemModel*>(form.DirectoryTree->model());
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->filter() & QDir::Files);
    EXPECT_TRUE(model->filter() & QDir::Hidden);
}

TEST_F(DirSelForm, FirstUseOpensOnTheWorkingFolder) {
    QDir::setCurrent(Path("one"));
    TDirSelForm form;
    form.OpenOn(QString());
    EXPECT_EQ(form.CurrentFolder(), Path("one"));
}

TEST_F(DirSelForm, EveryFolderShownBecomesTheWorkingFolderAlsoAfterCancel) {
    TDirSelForm form;
    form.OpenOn(Path("one") + QLatin1Char('/'));
    EXPECT_EQ(form.CurrentFolder(), Path("one"));
    EXPECT_EQ(QDir::currentPath(), Path("one"));

    form.show();
    PickInTree(form, Path("two/.hidden"));
    EXPECT_EQ(form.CurrentFolder(), Path("two/.hidden"));
    EXPECT_EQ(QDir::currentPath(), Path("two/.hidden"));
    form.CancelButton->click();
    EXPECT_FALSE(form.ChosenFolder());
    EXPECT_EQ(QDir::currentPath(), Path("two/.hidden"));

    // Opened without a folder, or on one that is gone, it shows the folder it showed last.
    for (const QString& start : {QString(), Path("gone")}) {
        SCOPED_TRACE(start.toStdString());
        QDir::setCurrent(FOldWorkingFolder);
        form.OpenOn(start);
        EXPECT_EQ(form.CurrentFolder(), Path("two/.hidden"));
        EXPECT_EQ(QDir::currentPath(), Path("two/.hidden"));
    }

    form.show();
    PickInTree(form, Path("two"));
    form.OKButton->click();
    EXPECT_EQ(form.ChosenFolder(), Path("two"));
    EXPECT_EQ(QDir::currentPath(), Path("two"));

    // A new opening forgets the last OK until the window is left again.
    form.OpenOn(Path("one"));
    EXPECT_FALSE(form.ChosenFolder());
}

TEST_F(DirSelForm, DriveSelectorMovesTheTree) {
    TDirSelForm form;
    form.OpenOn(Path("one"));
    const int root = form.DriveComboBox->findText(QDir::rootPath());
    ASSERT_GE(root, 0);
    emit form.DriveComboBox->activated(root);
    EXPECT_EQ(form.CurrentFolder(), QDir::rootPath());
    EXPECT_EQ(QDir::currentPath(), QDir::rootPath());

    // Moving in the tree shows the drive that holds the folder.
    const QString home = QDir::cleanPath(QDir::homePath());
    ASSERT_GE(form.DriveComboBox->findText(home), 0);
    form.MoveTo(home);
    EXPECT_EQ(form.DriveComboBox->currentText(), home);
    form.MoveTo(QDir::rootPath());
    EXPECT_EQ(form.DriveComboBox->currentText(), QDir::rootPath());
}

}  // namespace
