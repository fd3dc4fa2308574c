#include "base/KelvoUtils.h"

#include <QLocale>
#include <limits>

#include "base/KelvoError.h"

namespace {

bool IsAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int HexDigit(QChar c) {
    if (IsAsciiDigit(c)) return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f')) return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F')) return c.unicode() - 'A' + 10;
    return -1;
}

// Digits in the given base, accumulated with a range check against the signed 32-bit limits.
bool ParseDigits(QStringView digits, int base, bool negative, int& result) {
    if (digits.isEmpty()) return false;
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1
                                  : qint64(std::numeric_limits<int>::max());
    qint64 value = 0;
    for (QChar c : digits) {
        const int digit = base == 16 ? HexDigit(c) : (IsAsciiDigit(c) ? c.unicode() - '0' : -1);
        if (digit < 0) return false;
        value = value * base + digit;
        if (value > limit) return false;
    }
    result = int(negative ? -value : value);
    return true;
}

}  // namespace

bool IsBlank(const QString& text) {
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\r') && c != QLatin1Char('\n')) return false;
    return true;
}

bool IsIntegerText(const QString& text) {
    if (IsBlank(text)) return true;
    for (QChar c : text)
        if (!IsAsciiDigit(c)) return false;
    int value = 0;
    return ParseDigits(text, 10, false, value);
}

bool IsFloatText(const QString& text) {
    if (IsBlank(text)) return true;
    const QLocale locale = [] {
        QLocale l;
        l.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        return l;
    }();
    // "." is always allowed by the character test; the user's own separator is allowed too,
    // or no fractional value could ever pass where the separator is a comma.
    const QString separator = locale.decimalPoint();
    for (QChar c : text)
        if (!IsAsciiDigit(c) && c != QLatin1Char('-') && c != QLatin1Char('.') &&
            !separator.contains(c))
            return false;
    bool ok = false;
    locale.toDouble(text, &ok);
    return ok;
}

QString PadLeft(const QString& text, int length, QChar fill) {
    if (text.size() >= length) return text;
    return QString(length - text.size(), fill) + text;
}

int StrToInt(const QString& text) {
    QStringView rest(text);
    bool negative = false;
    if (rest.startsWith(QLatin1Char('-')) || rest.startsWith(QLatin1Char('+'))) {
        negative = rest.front() == QLatin1Char('-');
        rest = rest.mid(1);
    }
    int base = 10;
    if (rest.startsWith(QLatin1Char('$'))) {
        base = 16;
        rest = rest.mid(1);
    } else if (rest.size() > 2 && rest[0] == QLatin1Char('0') &&
               (rest[1] == QLatin1Char('x') || rest[1] == QLatin1Char('X'))) {
        base = 16;
        rest = rest.mid(2);
    }
    int value = 0;
    if (!ParseDigits(rest, base, negative, value))
        throw KelvoError(QStringLiteral("'") + text +
                         QStringLiteral("' is not a valid integer value"));
    return value;
}
