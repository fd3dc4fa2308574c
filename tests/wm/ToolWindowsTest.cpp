// The tool windows under openbox: the graph window above the main window at the screen's corner
// without taking the keys, and the slider windows that take the keys when they open, count every
// key typed quickly, and close on Escape.

#include <QAction>
#include <QScrollBar>
#include <QSlider>

#include "base/IniFile.h"
#include "tone/ui/GraphForm.h"
#include "tone/ui/TrackBarForms.h"
#include "transform/ui/RotationTrackBarForm.h"
#include "wm/WindowManagerFixture.h"

namespace {

class ToolWindows : public WindowManagerFixture {
  protected:
    TKelvoImageForm& StartWithPicture(const QByteArray& settings, int width, int height) {
        MarkRegistered(settings);
        const QString name = MakeImage(QStringLiteral("picture.png"), width, height,
                                       [](int x, int y) { return qRgb(x % 256, y % 256, 90); });
        return StartManaged({name});
    }
    static int StackingIndex(const QWidget& window) {
        return int(StackingOrder().indexOf(window.winId()));
    }
    static int StoredSliderValue(const char* section) {
        return TIniFile(SliderSettingsFileName())
            .ReadInteger(QLatin1String(section), QStringLiteral("Value"), -1000);
    }
};

// Every command that shows the graph window shows it above the main window with its frame at
// the screen's corner, and the keyboard stays with the main window.
TEST_F(ToolWindows, TheGraphWindowShowsAboveTheMainWindowAtTheCornerWithoutTheFocus) {
    TKelvoImageForm& form = StartWithPicture("", 1200, 900);
    ASSERT_TRUE(QTest::qWaitFor([&form] { return form.isActiveWindow(); }, 3000));
    const WId mainId = form.winId();
    const struct {
        const char* label;
        QAction* command;
    } commands[] = {{"Negative", form.Negative1},
                    {"Washout after the window was closed", form.Washout1},
                    {"HistoGram after the window was closed", form.HistoGram1}};
    for (const auto& c : commands) {
        SCOPED_TRACE(c.label);
        c.command->trigger();
        TGraphForm& graph = *form.GraphForm;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
        Settle({&form, &graph});
        EXPECT_EQ(XFrame(graph).topLeft(), QPoint(0, 0));
        EXPECT_GT(XFrame(graph).height(), graph.height()) << "framed by the window manager";
        const int graphIndex = StackingIndex(graph);
        const int mainIndex = StackingIndex(form);
        ASSERT_GE(mainIndex, 0);
        EXPECT_GT(graphIndex, mainIndex) << "above the main window";
        EXPECT_EQ(ActiveWindowId(), mainId) << "the main window keeps the keys";
        // Moved away and closed by the user: the next show brings it back to the corner.
        graph.move(300, 200);
        Settle({&form, &graph});
        graph.close();
        Settle({&form});
    }
}

// Keys typed right after a slider window opens, ten of them 25 ms apart, all reach the slider:
// the stored value counts every one, and the picture never pans. Escape closes the window as
// its close box does, which stores the value.
TEST_F(ToolWindows, SliderWindowsTakeEveryKeyFromTheStartAndCloseOnEscape) {
    TKelvoImageForm& form = StartWithPicture("[Image]\nOneToOne=Yes\n", 2400, 1600);
    const struct {
        const char* label;
        QAction* command;
        TTrackBarToolForm* window;
        const char* section;
        const char* key;
        int expected;  // after ten keys from the default
    } sliders[] = {
        {"Brightness", form.Brightness1, form.BrightnessTrackBarForm.get(), "Brightness", "Right",
         100},
        {"Contrast", form.Contrast1, form.ContrastTrackBarForm.get(), "Contrast", "Left", -100},
        {"Black and white", form.MakeBlackandWhite1, form.BWTrackBarForm.get(), "BW", "Left", 100},
        {"Rotate", form.Rotate1, form.RotationTrackBarForm.get(), "Rotation", "Right", 10},
    };
    for (const auto& s : sliders) {
        SCOPED_TRACE(s.label);
        const int panBefore = form.HorzScrollBar->value();
        s.command->trigger();
        // No waiting for the window manager: the keys follow at once, as a user's would.
        TypeKeys(QStringList(10, QLatin1String(s.key)));
        QTest::qWait(300);
        Settle({&form, s.window});
        EXPECT_EQ(s.window->TrackBar1->value(), s.expected);
        EXPECT_EQ(form.HorzScrollBar->value(), panBefore) << "no key panned the picture";
        EXPECT_FALSE(form.FPanned);
        EXPECT_TRUE(s.window->isActiveWindow()) << "the slider window kept the keys";

        TypeKeys({QStringLiteral("Escape")});
        EXPECT_TRUE(QTest::qWaitFor([&s] { return !s.window->isVisible(); }, 3000));
        EXPECT_EQ(StoredSliderValue(s.section), s.expected);
        Settle();
    }
}

}  // namespace
