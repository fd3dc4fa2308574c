#pragma once
// Shared by the editing commands of the main window (undo, clipboard, turns, saving).

#include <exception>

#include "app/ui/KelvoImageUnit.h"

// A command that fails inside its busy state never reaches EnableButtons(true); without this
// the hourglass would stay up until some later command happened to put it away.
class TEndBusyOnFailure {
  public:
    explicit TEndBusyOnFailure(TKelvoImageForm& form)
        : FForm(form), FExceptions(std::uncaught_exceptions()) {}
    ~TEndBusyOnFailure() {
        if (std::uncaught_exceptions() > FExceptions) FForm.EndBusyCursor();
    }
    TEndBusyOnFailure(const TEndBusyOnFailure&) = delete;
    TEndBusyOnFailure& operator=(const TEndBusyOnFailure&) = delete;

  private:
    TKelvoImageForm& FForm;
    int FExceptions;
};
