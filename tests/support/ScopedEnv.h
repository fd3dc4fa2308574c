#pragma once
// An environment variable set for one scope and put back as it was afterwards (unset when it
// was unset); the time zone is re-read both ways. Every test that changes the environment does
// it through this, so no test leaks its settings into the next.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <QByteArray>

class TScopedEnv {
  public:
    TScopedEnv(const char* name, const QByteArray& value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = std::string(old);
        setenv(name, value.constData(), 1);
        tzset();
    }
    ~TScopedEnv() {
        if (FOld)
            setenv(FName, FOld->c_str(), 1);
        else
            unsetenv(FName);
        tzset();
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

  private:
    const char* FName;
    std::optional<std::string> FOld;
};
