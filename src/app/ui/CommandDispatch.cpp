#include "app/ui/CommandDispatch.h"

#include <new>

#include "app/ui/Dialogs.h"
#include "base/KelvoError.h"

void ReportError(const QString& message) {
    CurrentDialogs().ShowError(FormatErrorMessage(message));
}

QString ExceptionMessage(const std::exception& error) {
    if (dynamic_cast<const KelvoError*>(&error) != nullptr)
        return static_cast<const KelvoError&>(error).Message();
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr)
        return QStringLiteral("Out of memory");
    return QString::fromLocal8Bit(error.what());
}

bool RunCommand(const std::function<void()>& handler) {
    // The program's one broad catch: whatever escapes a handler ends that command only.
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        ReportError(ExceptionMessage(error));
    } catch (...) {
        ReportError(QStringLiteral("Unknown error"));
    }
    return false;
}
