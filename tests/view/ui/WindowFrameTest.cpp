// The main window under a window manager: outer sizes include the frame, the work area holds
// the whole frame, and a frame that appears after the first show re-fits the window. Offscreen
// there is no frame, so the window manager's margins are put in through FFrameMargins. Also the
// menu bar at the minimum width and the toolbar's order.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <optional>

#include "support/ui/MainWindowFixture.h"

namespace {

// What openbox reported in a trial: 1 pixel left and right, a 20-pixel title bar, a 5-pixel
// handle below.
const QMargins kOpenboxFrame(1, 20, 1, 5);

class WindowFrame : public MainWindowFixture {
  protected:
    // Starts the window as the program does, with the given frame known from the first show.
    TKelvoImageForm& StartFramed(const QStringList& arguments, std::optional<QMargins> frame) {
        FForm = std::make_unique<TKelvoImageForm>(ExeDir(), arguments);
        FForm->FFrameMargins = frame;
        FForm->CreateToolWindows();
        FForm->show();
        return *FForm;
    }
    static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

// A panorama and a tall picture, each fitted: the frame, not the client, meets the work area's
// edge, and the client hugs the fitted picture with nothing left over below or beside it.
TEST_F(WindowFrame, FittedPicturesKeepTheWholeFrameInsideTheWorkArea) {
    const QRect work = WorkArea();
    const struct {
        const char* label;
        int width, height;
        bool widthLimited;  // the picture meets the work area's width, not its height
    } pictures[] = {
        {"panorama", work.width() * 3, work.height() / 2, true},
        {"tall", work.width() / 2, work.height() * 3, false},
    };
    for (const auto& picture : pictures) {
        for (const std::optional<QMargins> seam :
             {std::optional<QMargins>(), std::optional<QMargins>(kOpenboxFrame)}) {
            SCOPED_TRACE(std::string(picture.label) +
                         (seam ? " with a window manager's frame" : " with the platform's frame"));
            MarkRegistered();
            const QString name = MakeFilledImage(QStringLiteral("picture.png"), picture.width,
                                                 picture.height, qRgb(30, 60, 90));
            TKelvoImageForm& form = StartFramed({name}, seam);
            const QRect outer = form.OuterGeometry();
            EXPECT_EQ(outer, seam ? form.geometry().marginsAdded(*seam) : form.frameGeometry());
            EXPECT_LE(outer.bottom(), work.bottom());
            EXPECT_LE(outer.right(), work.right());
            const QSize shown = form.Image->DisplayedSize();
            EXPECT_EQ(form.ClientHeight(), shown.height()) << "no band below the picture";
            EXPECT_EQ(form.ClientWidth(),
                      std::max({shown.width(), form.MenuBarWidth(),
                                int(TKelvoImageForm::MinimumWidthWithoutToolbar)}));
            if (picture.widthLimited)
                EXPECT_EQ(outer.width(), work.width());
            else
                EXPECT_EQ(outer.height(), work.height());
            FForm.reset();
        }
    }
}

// The window manager's frame is not known at the first show; when it turns up, the window is
// fitted again so that the frame, too, stays on the work area.
TEST_F(WindowFrame, AFrameThatAppearsLaterRefitsTheWindow) {
    MarkRegistered();
    const QRect work = WorkArea();
    const QString name = MakeFilledImage(QStringLiteral("tall.png"), work.width() / 2,
                                         work.height() * 3, qRgb(200, 10, 10));
    TKelvoImageForm& form = StartFramed({name}, QMargins());  // not decorated yet
    const int bareClientHeight = form.ClientHeight();
    ASSERT_EQ(form.OuterGeometry().height(), work.height());
    ASSERT_LT(form.geometry().top(), kOpenboxFrame.top()) << "a title bar would stand above";
    QCoreApplication::processEvents();  // nothing else left to re-fit the window

    form.FFrameMargins = kOpenboxFrame;  // the window manager decorates the window
    // The window system's events go on meanwhile; the frame is looked for within seconds.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form.ClientHeight() == bareClientHeight - 25; }, 3000));
    EXPECT_EQ(form.OuterGeometry().height(), work.height());
    EXPECT_EQ(form.ClientHeight(), form.Image->DisplayedSize().height());
    EXPECT_EQ(form.OuterGeometry().top(), 0) << "the title bar within reach";
    EXPECT_GE(form.OuterGeometry().left(), 0);
}

// Steps 6 and 8 of the sizing rule with a frame: a window pushed past the work area's bottom
// right corner comes back so that its frame ends at the edge.
TEST_F(WindowFrame, AWindowPastTheCornerIsMovedBackFrameAndAll) {
    MarkRegistered("[Image]\nOneToOne=Yes\n");
    const QRect work = WorkArea();
    const QString name = MakeFilledImage(QStringLiteral("small.png"), 400, 200, qRgb(1, 2, 3));
    TKelvoImageForm& form = StartFramed({name}, kOpenboxFrame);
    const QRect before = form.OuterGeometry();
    form.move(form.pos() +
              QPoint(work.right() - before.right() + 50, work.bottom() - before.bottom() + 40));
    form.ResizeForm();
    const QRect after = form.OuterGeometry();
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.right(), work.right());
    EXPECT_EQ(after.bottom(), work.bottom());
    EXPECT_EQ(form.ClientWidth(), 400);
    EXPECT_EQ(form.ClientHeight(), 200);
}

// The overflow button the menu bar shows when its items do not fit.
QWidget* OverflowButton(QMenuBar* bar) {
    return bar->findChild<QWidget*>(QStringLiteral("qt_menubar_ext_button"));
}

TEST_F(WindowFrame, EveryMenuBarItemShowsAtTheMinimumWidth) {
    MarkRegistered();
    TKelvoImageForm& form = StartFramed({}, std::nullopt);
    const auto everyItemShows = [&form] {
        QWidget* overflow = OverflowButton(form.MainMenu1);
        if (overflow && overflow->isVisible()) return false;
        for (QAction* action : form.MainMenu1->actions())
            if (form.MainMenu1->actionGeometry(action).right() >= form.MainMenu1->width())
                return false;
        return true;
    };
    EXPECT_EQ(form.ClientWidth(), TKelvoImageForm::MinimumWidthWithoutToolbar)
        << "the default font fits the designed minimum";
    EXPECT_LE(form.MenuBarWidth(), TKelvoImageForm::MinimumWidthWithoutToolbar);
    EXPECT_TRUE(everyItemShows());

    // A larger font widens the window instead of hiding "HSR", "?" and "Exit".
    QFont large = form.MainMenu1->font();
    large.setPixelSize(24);
    form.MainMenu1->setFont(large);
    form.ResizeForm();
    QCoreApplication::processEvents();
    EXPECT_GT(form.MenuBarWidth(), TKelvoImageForm::MinimumWidthWithoutToolbar);
    EXPECT_EQ(form.ClientWidth(), form.MenuBarWidth());
    EXPECT_TRUE(everyItemShows());
}

TEST_F(WindowFrame, ThePositionLabelStandsBetweenStartByDateAndPrev) {
    MarkRegistered("[Pelly]\nTools=Yes\n");
    TKelvoImageForm& form = StartFramed({}, std::nullopt);
    const QWidget* const order[] = {form.NameSB,    form.AlphaSB,         form.ChronoSB,
                                    form.Label1,    form.PriorSB,         form.NextSB,
                                    form.DelNextSB, form.RenameAndNextSB, form.SaveNextSB};
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_LT(order[i - 1]->geometry().right(), order[i]->geometry().left())
            << order[i - 1]->objectName().toStdString() << " before "
            << order[i]->objectName().toStdString();
    EXPECT_EQ(form.SaveNextSB->geometry(), QRect(519, 2, 69, 26));
    // Wide enough for the position in a list of up to 999 entries, at the toolbar's font.
    form.Label1->setText(QStringLiteral("<999/999>"));
    EXPECT_LE(form.Label1->sizeHint().width(), form.Label1->width());
}

}  // namespace
