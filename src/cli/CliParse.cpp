#include "cli/CliOptions.h"

#include <QStringList>

#include "base/KelvoError.h"

int ParseInteger(const QString& text, const char* what, int minimum, int maximum) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok || text.trimmed().isEmpty())
        throw KelvoError(QStringLiteral("Invalid %1 '%2': a whole number is needed")
                             .arg(QLatin1String(what), text));
    if (value < minimum || value > maximum)
        throw KelvoError(QStringLiteral("Invalid %1 '%2': it must lie between %3 and %4")
                             .arg(QLatin1String(what), text)
                             .arg(minimum)
                             .arg(maximum));
    return value;
}

std::vector<int> ParseIntegerList(const QString& text, const char* what, int count) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != count)
        throw KelvoError(QStringLiteral("Invalid %1 '%2': %3 whole numbers separated by commas are needed")
                             .arg(QLatin1String(what), text)
                             .arg(count));
    std::vector<int> values;
    for (const QString& part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok, 10);
        if (!ok)
            throw KelvoError(QStringLiteral("Invalid %1 '%2': %3 whole numbers separated by commas are needed")
                                 .arg(QLatin1String(what), text)
                                 .arg(count));
        values.push_back(value);
    }
    return values;
}
