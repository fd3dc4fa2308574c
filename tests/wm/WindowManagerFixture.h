#pragma once
// The main window under a real window manager (openbox on Xvfb, started by
// tests/wm/run-under-openbox.sh): the frame the window manager draws, its placement, stacking
// and focus are the ones a user meets. Everything asynchronous (the frame, a resize the window
// manager answers, a key from the X server) is waited for until the window has settled.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <optional>

#include "support/ui/MainWindowFixture.h"

// Why the tests cannot run here; empty when openbox manages the display.
inline QString WindowManagerMissing() {
    if (qEnvironmentVariable("KELVO_WINDOW_MANAGER") == QLatin1String("openbox") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    const QString said = qEnvironmentVariable("KELVO_NO_WINDOW_MANAGER");
    return said.isEmpty() ? QStringLiteral("no window manager: run through "
                                           "tests/wm/run-under-openbox.sh (./kelvo test does)")
                          : QStringLiteral("no window manager: ") + said;
}

// Runs an X client program (xprop, xdotool) to its end while the application's events go on,
// and gives its output.
inline QString RunXTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) return {};
    while (process.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        process.waitForFinished(10);
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

class WindowManagerFixture : public MainWindowFixture {
  protected:
    void SetUp() override {
        const QString missing = WindowManagerMissing();
        if (!missing.isEmpty()) GTEST_SKIP() << missing.toStdString();
        MainWindowFixture::SetUp();
    }

    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    // A window's frame as the X server has it (the window manager's frame window, the child of
    // the root that holds the client), not as the toolkit last heard of it.
    static QRect XFrame(const QWidget& window) {
        const auto field = [](const QString& out, const char* key) -> QString {
            const qsizetype at = out.indexOf(QLatin1String(key));
            if (at < 0) return {};
            const qsizetype colon = out.indexOf(QLatin1Char(':'), at);
            return out.mid(colon + 1, out.indexOf(QLatin1Char('\n'), colon) - colon - 1)
                .trimmed();
        };
        QString id = QString::number(window.winId());
        for (int depth = 0; depth < 8; ++depth) {
            const QString tree =
                RunXTool(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), id});
            const QString parent = field(tree, "Parent window id").section(QLatin1Char(' '), 0, 0);
            const QString root = field(tree, "Root window id").section(QLatin1Char(' '), 0, 0);
            if (parent.isEmpty() || parent == root) break;
            id = parent;
        }
        const QString info = RunXTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        return {field(info, "Absolute upper-left X").toInt(),
                field(info, "Absolute upper-left Y").toInt(), field(info, "Width:").toInt(),
                field(info, "Height:").toInt()};
    }

    // Lets the window system's events run until the windows have kept their geometry (and the
    // main window its frame) for a while: the window manager answers moves and resizes late.
    static void Settle(std::initializer_list<const QWidget*> windows, int quietMs = 400) {
        using Clock = std::chrono::steady_clock;
        const auto geometries = [&windows] {
            QList<QRect> all;
            for (const QWidget* window : windows)
                all << window->windowHandle()->frameGeometry() << window->geometry();
            return all;
        };
        QList<QRect> last = geometries();
        auto quietSince = Clock::now();
        const auto giveUp = Clock::now() + std::chrono::seconds(8);
        while (Clock::now() < giveUp) {
            QTest::qWait(20);
            const QList<QRect> now = geometries();
            if (now != last) {
                last = now;
                quietSince = Clock::now();
            } else if (Clock::now() - quietSince > std::chrono::milliseconds(quietMs)) {
                return;
            }
        }
    }
    void Settle() { Settle({FForm.get()}); }

    // Starts the program as a user does and waits until the window manager has framed it.
    TKelvoImageForm& StartManaged(const QStringList& arguments = {}) {
        TKelvoImageForm& form = Start(arguments);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        EXPECT_TRUE(QTest::qWaitFor([&form] { return !form.FrameMargins().isNull(); }, 5000))
            << "openbox frames every normal window";
        Settle();
        return form;
    }

    // The part of the picture the user can see: the view's visible part, within the picture as
    // it is drawn (anchored at the view's top-left corner).
    static QSize VisiblePicture(const TKelvoImageForm& form) {
        const QRect drawn(QPoint(0, 0), form.Image->DisplayedSize());
        return form.Image->visibleRegion().boundingRect().intersected(drawn).size();
    }

    // The window ids in the window manager's stacking order, bottom first.
    static QList<WId> StackingOrder() {
        const QString out =
            RunXTool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-notype"),
                                               QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        QList<WId> ids;
        const qsizetype hash = out.indexOf(QLatin1Char('#'));
        if (hash < 0) return ids;
        for (const QString& part : out.mid(hash + 1).split(QLatin1Char(','))) {
            bool ok = false;
            const WId id = part.trimmed().toULongLong(&ok, 16);
            if (ok) ids << id;
        }
        return ids;
    }
    static WId ActiveWindowId() {
        const QString out =
            RunXTool(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-notype"),
                                               QStringLiteral("_NET_ACTIVE_WINDOW")});
        const qsizetype hash = out.indexOf(QLatin1Char('#'));
        if (hash < 0) return 0;
        return out.mid(hash + 1).trimmed().split(QLatin1Char(',')).first().toULongLong(nullptr,
                                                                                        16);
    }

    // Keys typed as a user types them: through the X server to the window with the focus,
    // delayMs apart.
    static void TypeKeys(const QStringList& keys, int delayMs = 25) {
        RunXTool(QStringLiteral("xdotool"),
                 QStringList{QStringLiteral("key"), QStringLiteral("--delay"),
                             QString::number(delayMs)} +
                     keys);
    }
};
