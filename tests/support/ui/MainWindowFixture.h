#pragma once
// A main window started the way the program starts it, in a temporary program folder (which
// holds its settings file) with the XDG folders redirected, and with scripted dialogs.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "app/ui/KelvoImageUnit.h"
#include "base/IniFile.h"
#include "support/ScopedEnv.h"
#include "support/ui/ScriptedDialogs.h"
#include "view/ui/ImageView.h"

class MainWindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FConfigHome.emplace("XDG_CONFIG_HOME", (FDir.path() + QStringLiteral("/config")).toUtf8());
        FDataHome.emplace("XDG_DATA_HOME", (FDir.path() + QStringLiteral("/data")).toUtf8());
        QGuiApplication::clipboard()->clear();
    }

    void TearDown() override {
        FForm.reset();
        QGuiApplication::clipboard()->clear();
        FDataHome.reset();
        FConfigHome.reset();
    }

    QString ExeDir() const { return FDir.path() + QLatin1Char('/'); }
    QString SettingsFile() const { return MainSettingsFileName(ExeDir()); }
    QString PathOf(const QString& name) const { return FDir.filePath(name); }

    void WriteSettings(const QByteArray& text) {
        QFile file(SettingsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    // A later start: the registration questions have been asked before.
    void MarkRegistered(const QByteArray& more = {}) {
        WriteSettings("[Asked]\nRegister=1\n" + more);
    }
    QString Setting(const char* section, const char* key) const {
        return TIniFile(SettingsFile())
            .ReadString(QLatin1String(section), QLatin1String(key), QStringLiteral("<absent>"));
    }

    // Writes a picture whose pixel (x, y) is colorAt(x, y); the ending chooses the format.
    template <class ColorAt>
    QString MakeImage(const QString& name, int width, int height, ColorAt colorAt) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, colorAt(x, y));
        const QString path = PathOf(name);
        EXPECT_TRUE(image.save(path)) << path.toStdString();
        return path;
    }
    QString MakeFilledImage(const QString& name, int width, int height, QRgb color) {
        return MakeImage(name, width, height, [color](int, int) { return color; });
    }

    // Creates the windows in their order and shows the main window, which runs the first show.
    TKelvoImageForm& Start(const QStringList& arguments = {}) {
        FForm = std::make_unique<TKelvoImageForm>(ExeDir(), arguments);
        FForm->CreateToolWindows();
        FForm->show();
        return *FForm;
    }
    TKelvoImageForm& Form() { return *FForm; }
    TBitmap32& Bitmap() { return FForm->Image->Bitmap(); }

    QTemporaryDir FDir;
    std::optional<TScopedEnv> FConfigHome;
    std::optional<TScopedEnv> FDataHome;
    ScriptedDialogs FDialogs;
    std::unique_ptr<TKelvoImageForm> FForm;
};
