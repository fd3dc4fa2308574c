#pragma once
// A flag set for the lifetime of a scope and cleared at its end, also when the scope is left by
// an exception: "this is running now" guards against re-entry.

class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
};
