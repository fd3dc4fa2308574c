#pragma once
// The one error path. Every menu command, key, mouse and timer handler of the program runs
// through RunCommand: a failure that escapes the handler is shown in the error box
// (CurrentDialogs().ShowError) with FormatErrorMessage applied, and the event loop goes on with
// the next event. No other code catches broadly.
//
// Typical use in a window:
//   connect(Save1, &QAction::triggered, this, Command(this, &TKelvoImageForm::Save1Click));
//   void TKelvoImageForm::keyPressEvent(QKeyEvent* e) { RunCommand([&] { FormKeyDown(e); }); }

#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

// Runs the handler; returns false when it failed (the error has then been shown).
bool RunCommand(const std::function<void()>& handler);

// Shows a message in the error box exactly as a failing command would (FormatErrorMessage
// applied).
void ReportError(const QString& message);

// The text shown for a failure that is not a KelvoError: "Out of memory" for a failed
// allocation, the exception's own text otherwise.
QString ExceptionMessage(const std::exception& error);

// Wraps a member function (with any arguments) of target into a callable that runs it through
// RunCommand, ready for QObject::connect. Arguments the signal sends beyond those the member
// takes are not accepted: pick a member that matches the signal.
template <class T, class... Args>
auto Command(T* target, void (T::*method)(Args...)) {
    return [target, method](Args... args) {
        RunCommand([&] { (target->*method)(std::forward<Args>(args)...); });
    };
}
