#pragma once
// An action run when its scope is left by an exception, and only then: what a failed step left
// half-done is put right (a half-decoded picture emptied, the hourglass put away), while a scope
// that ends normally leaves everything to the code that follows it.
//
//     const TOnFailure emptied([&image] { image.AssignEmpty(); });

#include <exception>
#include <functional>
#include <utility>

class TOnFailure {
  public:
    explicit TOnFailure(std::function<void()> action)
        : FAction(std::move(action)), FExceptions(std::uncaught_exceptions()) {}
    ~TOnFailure() {
        if (std::uncaught_exceptions() > FExceptions) FAction();
    }
    TOnFailure(const TOnFailure&) = delete;
    TOnFailure& operator=(const TOnFailure&) = delete;

  private:
    std::function<void()> FAction;
    int FExceptions;  // those already in flight when the scope began (a guard in a destructor)
};
