#pragma once
// The busy state of the main window's commands: the hourglass is the only sign of work.

#include <QGuiApplication>

#include "app/ui/KelvoImageUnit.h"
#include "base/OnFailure.h"

// The hourglass for the lifetime of the scope, put away however the scope ends.
class TBusyCursor {
  public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// A command that fails inside its busy state never reaches EnableButtons(true); without this
// the hourglass would stay up until some later command happened to put it away.
class TEndBusyOnFailure : public TOnFailure {
  public:
    explicit TEndBusyOnFailure(TKelvoImageForm& form)
        : TOnFailure([&form] { form.EndBusyCursor(); }) {}
};
