// The slider tool windows' shared frame, through a design of its own: the stored position on
// show, the 100 ms one-shot re-apply, the position written on hide, and no re-apply left
// pending on a hidden window.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <optional>
#include <vector>

#include "app/ui/TrackBarToolForm.h"
#include "base/IniFile.h"
#include "support/ScopedEnv.h"

namespace {

const TTrackBarDesign kDesign{"TestTrackBarForm", "Test", 40,        -100, 100, 10, 10, 25,
                              {154, 48},          150,    {271, 103}};

class TrackBarToolForm : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(FHome.isValid());
        FConfigHome.emplace("XDG_CONFIG_HOME", FHome.path().toUtf8());
        FForm = std::make_unique<TTrackBarToolForm>(kDesign);
        FForm->OnApply = [this] { FApplied.push_back(FForm->TrackBar1->value()); };
    }
    void TearDown() override {
        FForm.reset();
        FConfigHome.reset();
    }

    void Store(const QByteArray& text) {
        QFile file(SliderSettingsFileName());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    QString Stored() const {
        return TIniFile(SliderSettingsFileName())
            .ReadString(QStringLiteral("Test"), QStringLiteral("Value"),
                        QStringLiteral("<absent>"));
    }
    // The timer is handed its own tick, so no test waits for real time to pass.
    void Tick() {
        QTimerEvent tick(FForm->Timer1->timerId());
        QCoreApplication::sendEvent(FForm->Timer1, &tick);
    }

    QTemporaryDir FHome;
    std::optional<TScopedEnv> FConfigHome;
    std::unique_ptr<TTrackBarToolForm> FForm;
    std::vector<int> FApplied;  // not QList: comparing two empty QLists trips UBSan in Qt 6.4
};

TEST_F(TrackBarToolForm, IsAnAlwaysOnTopToolWindowAtItsDesignedPlace) {
    const Qt::WindowFlags flags = FForm->windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(FForm->windowTitle(), QStringLiteral("TestTrackBarForm"));
    EXPECT_EQ(FForm->size(), QSize(154, 48));
    EXPECT_EQ(FForm->pos(), QPoint(271, 103));
    EXPECT_EQ(FForm->TrackBar1->minimum(), -100);
    EXPECT_EQ(FForm->TrackBar1->maximum(), 100);
    EXPECT_EQ(FForm->TrackBar1->singleStep(), 10);
    EXPECT_EQ(FForm->TrackBar1->tickPosition(), QSlider::TicksBelow);
    EXPECT_TRUE(FForm->Timer1->isSingleShot());
    EXPECT_EQ(FForm->Timer1->interval(), 100);
    EXPECT_FALSE(FForm->Timer1->isActive());
}

TEST_F(TrackBarToolForm, ShowingRestoresTheStoredPositionAndAppliesItOnTheNextTick) {
    const struct {
        const char* name;
        QByteArray file;  // the slider settings file before the show; empty: none
        int position;     // where the slider ends up
        bool applies;     // whether that started the re-apply
    } cases[] = {
        {"stored value", "[Test]\nValue=30\n", 30, true},
        {"above the range, clamped", "[Test]\nValue=500\n", 100, true},
        {"no file: the default", "", 40, true},
        {"the slider's own position: no change, no re-apply", "[Test]\nValue=0\n", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(SliderSettingsFileName());
        if (!c.file.isEmpty()) Store(c.file);
        FForm = std::make_unique<TTrackBarToolForm>(kDesign);
        FForm->OnApply = [this] { FApplied.push_back(FForm->TrackBar1->value()); };
        FApplied.clear();
        FForm->show();
        EXPECT_EQ(FForm->TrackBar1->value(), c.position);
        EXPECT_EQ(FForm->Timer1->isActive(), c.applies);
        EXPECT_TRUE(FApplied.empty()) << "applied before the timer ran out";
        if (c.applies) Tick();
        EXPECT_EQ(FApplied, c.applies ? std::vector<int>{c.position} : std::vector<int>{});
        EXPECT_FALSE(FForm->Timer1->isActive());
    }
}

TEST_F(TrackBarToolForm, MovesWithinOneIntervalGiveOneReApplyWithTheLatestPosition) {
    FForm->show();
    FForm->TrackBar1->setValue(10);
    ASSERT_TRUE(FForm->Timer1->isActive());
    FForm->TrackBar1->setValue(20);
    FForm->TrackBar1->setValue(-30);
    Tick();
    EXPECT_EQ(FApplied, std::vector<int>{-30});
    // The next move starts the next interval.
    FForm->TrackBar1->setValue(-20);
    EXPECT_TRUE(FForm->Timer1->isActive());
    Tick();
    EXPECT_EQ(FApplied, (std::vector<int>{-30, -20}));
}

TEST_F(TrackBarToolForm, HidingStoresThePositionAndDropsAPendingReApply) {
    Store("[Other]\nKey=kept\n");
    FForm->show();
    FForm->TrackBar1->setValue(-70);
    ASSERT_TRUE(FForm->Timer1->isActive());
    FForm->close();  // the close box: within the interval of the last move
    EXPECT_FALSE(FForm->isVisible());
    EXPECT_FALSE(FForm->Timer1->isActive());
    QCoreApplication::processEvents();
    EXPECT_TRUE(FApplied.empty());
    EXPECT_EQ(Stored(), QStringLiteral("-70"));
    EXPECT_EQ(TIniFile(SliderSettingsFileName())
                  .ReadString(QStringLiteral("Other"), QStringLiteral("Key"), QString()),
              QStringLiteral("kept"));

    // Shown again, it starts from what it stored, without a re-apply of its own.
    FForm->show();
    EXPECT_EQ(FForm->TrackBar1->value(), -70);
    EXPECT_FALSE(FForm->Timer1->isActive());
}

// The window takes the keys when it opens. Escape closes it as the close box does, storing the
// position; until the window is active, the keys the main window receives are handed to it.
TEST_F(TrackBarToolForm, EscapeClosesTheWindowAndAnOpeningWindowClaimsTheKeys) {
    FForm->show();
    EXPECT_EQ(FForm->focusWidget(), FForm->TrackBar1);
    FForm->TrackBar1->setValue(20);
    QTest::keyClick(FForm->TrackBar1, Qt::Key_Escape);
    EXPECT_FALSE(FForm->isVisible());
    EXPECT_EQ(Stored(), QStringLiteral("20"));
    EXPECT_EQ(TTrackBarToolForm::KeysClaimant(), nullptr) << "a hidden window claims nothing";

    // Shown while another window is active, and not yet active itself: a key typed meanwhile
    // (here handed over as the main window hands it) moves the slider.
    FForm->show();
    ASSERT_EQ(TTrackBarToolForm::KeysClaimant(), FForm.get());
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    FForm->TakeKey(&right);
    EXPECT_EQ(FForm->TrackBar1->value(), 30);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    FForm->TakeKey(&escape);
    EXPECT_FALSE(FForm->isVisible());
    EXPECT_EQ(TTrackBarToolForm::KeysClaimant(), nullptr);
}

}  // namespace
