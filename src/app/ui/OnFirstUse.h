#pragma once
// A window made the first time something reaches it. The main window's tool windows (the
// graph, the help reader, the sliders, the hot-spot tool, the folder chooser) are rarely all
// used in a session, and making them at start (Qt Charts above all) delayed the first picture;
// each is now armed at start with the way to make it and made on its first use. Whatever it
// reads from the settings it reads then, when it is shown, as it always did.

#include <functional>
#include <memory>
#include <utility>

template <class TWindow>
class TOnFirstUse {
  public:
    // Until armed, the window is absent (a main window made without its tool windows, as some
    // tests make it): get() gives null and the commands that reach it do nothing.
    void Arm(std::function<std::unique_ptr<TWindow>()> make) { FMake = std::move(make); }

    // The window, made now when this is its first use; null when not armed.
    TWindow* get() {
        if (!FWindow && FMake) FWindow = FMake();
        return FWindow.get();
    }
    TWindow* operator->() { return get(); }
    TWindow& operator*() { return *get(); }
    // Armed or made: a use would give a window.
    explicit operator bool() const { return FWindow || FMake; }

    // The window when it has been made, without making it: for what only concerns a window that
    // may be open (hiding the sliders), which a window never made cannot be.
    TWindow* IfMade() const { return FWindow.get(); }

    void reset() {
        FWindow.reset();
        FMake = nullptr;
    }

  private:
    std::function<std::unique_ptr<TWindow>()> FMake;
    std::unique_ptr<TWindow> FWindow;
};
