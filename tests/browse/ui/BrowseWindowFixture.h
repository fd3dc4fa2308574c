#pragma once
// A main window with the toolbar shown, a folder of small real pictures to step through, the
// trash inside the temporary folder, and the working folder put back after each test.

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QToolButton>
#include <optional>

#include "base/KelvoError.h"
#include "browse/BrowseTestSupport.h"
#include "image/ImageLoader.h"
#include "image/ImageSaver.h"
#include "support/ui/MainWindowFixture.h"

class BrowseWindowFixture : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        FOldWorkingFolder = QDir::currentPath();
        ASSERT_TRUE(QDir().mkpath(PathOf(QStringLiteral("home/data"))));
        FHome.emplace("HOME", QFile::encodeName(PathOf(QStringLiteral("home"))));
        FData.emplace("XDG_DATA_HOME", QFile::encodeName(PathOf(QStringLiteral("home/data"))));
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        FData.reset();
        FHome.reset();
        QDir::setCurrent(FOldWorkingFolder);
    }

    // The toolbar on, deleting asks unless confirm is false.
    TKelvoImageForm& StartWithTools(bool confirm = true, const QByteArray& more = {}) {
        MarkRegistered("[Pelly]\nTools=Yes\n[Confirmations]\nDelete=" +
                       QByteArray(confirm ? "Y" : "N") + "\n" + more);
        return Start();
    }

    QString MakeFolder(const QString& name) {
        const QString path = PathOf(name);
        EXPECT_TRUE(QDir().mkpath(path)) << path.toStdString();
        return path;
    }

    // A real picture, width pixels wide, so that the width tells which file is on screen. The
    // format follows the name's ending; other names get a JPEG.
    static QString MakePicture(const QString& path, int width, int height = 4) {
        TBitmap32 image;
        image.SetSize(width, height);
        image.Clear(0xFF000000u | TColor32(width * 40503u & 0xFFFFFFu));
        if (SaveFileTypeOf(path) != TSaveFileType::None) {
            WriteImageFile(path, image, 90);
        } else {
            const QString jpeg = path + QStringLiteral(".JPG");
            WriteImageFile(jpeg, image, 90);
            EXPECT_TRUE(QFile::rename(jpeg, path));
        }
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
        return path;
    }

    // Names of the list's entries, without their folder.
    QStringList ListedNames() const {
        QStringList names;
        for (const QString& entry : FForm->FFileList)
            names.append(QFileInfo(entry).fileName());
        return names;
    }
    int ShownWidth() { return Bitmap().Width(); }
    // One tick of the show timer, through its connection, now.
    static void TickOf(TKelvoImageForm& form) {
        ASSERT_TRUE(QMetaObject::invokeMethod(form.MovieTimer, "timeout", Qt::DirectConnection));
    }
    // The width of the picture in the file; -1 when it cannot be loaded.
    static int LoadedWidth(const QString& path) {
        TBitmap32 image;
        try {
            LoadImageFromFile(path, image);
        } catch (const KelvoError&) {
            return -1;
        }
        return image.Width();
    }
    QString TrashFile(const QString& name) const {
        return PathOf(QStringLiteral("home/data/Trash/files/") + name);
    }
    static QPoint CentreOf(const QToolButton* button) {
        return button->mapToGlobal(QPoint(button->width() / 2, button->height() / 2));
    }

    QString FOldWorkingFolder;
    std::optional<browse_test::TScopedEnv> FHome;
    std::optional<browse_test::TScopedEnv> FData;
};
