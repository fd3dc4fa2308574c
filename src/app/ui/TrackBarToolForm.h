#pragma once
// TTrackBarToolForm: the frame the slider tool windows share (brightness, contrast, rotation,
// black-and-white cutoff). A small always-on-top tool window filled by the slider TrackBar1.
// A slider change starts the 100 ms one-shot Timer1 unless it is already running, so a
// dragged slider re-applies at most every 100 ms, with the position at the moment of the tick;
// the tick calls OnApply, the main-window command that opened the window.
//
// Showing the window reads the slider's position from the slider settings file (a position
// that differs from the current one starts the timer like any other change); hiding it writes
// the position back. Hiding also drops a re-apply still waiting on the timer: run on a hidden
// window, the command would take that for a fresh start, show the window again and replace
// the undo snapshot.
//
// The keys: a window that opens asks for the focus, and until the window manager has given it
// (which takes a moment) it claims the keys the main window receives, so that an arrow pressed
// right after the command moves the slider, not the picture. Once it has had the focus, the
// user decides where the keys go. Escape closes the window as its close box does. A re-apply
// never moves the focus.

#include <QPoint>
#include <QSize>
#include <QWidget>
#include <functional>

class QKeyEvent;
class QSlider;
class QTimer;

// Everything that tells one slider window from another.
struct TTrackBarDesign {
    const char* Caption;  // shown until the first re-apply replaces it
    const char* Section;  // of the slider settings file; the key is "Value"
    int Default;          // the stored position when the file has none
    int Minimum;
    int Maximum;
    int LineStep;  // arrow keys
    int PageStep;
    int TickInterval;
    QSize ClientSize;
    int SliderWidth;  // may exceed the client width by a pixel, as designed
    QPoint Place;     // screen position of the window until the user moves it
};

class TTrackBarToolForm : public QWidget {
    Q_OBJECT

  public:
    explicit TTrackBarToolForm(const TTrackBarDesign& design, QWidget* parent = nullptr);
    const TTrackBarDesign& Design() const { return FDesign; }

    QSlider* TrackBar1 = nullptr;
    QTimer* Timer1 = nullptr;  // 100 ms, one-shot, stopped until the slider moves
    // The command to re-apply; empty until the command that opens the window sets it.
    std::function<void()> OnApply;

    void FormShow();
    void FormHide();
    void TrackBar1Change();
    void Timer1Timer();

    // The slider window that has just opened and not yet had the focus, or nullptr: the main
    // window hands such a window the keys it receives meanwhile.
    static TTrackBarToolForm* KeysClaimant();
    // Gives the window a key the main window received while the window claimed the keys.
    void TakeKey(QKeyEvent* event);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    const TTrackBarDesign FDesign;
};
