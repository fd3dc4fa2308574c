#pragma once
// Text tests and formatting shared by the prompts and the settings commands.

#include <QChar>
#include <QString>

// Every character is a space, CR or LF; the empty text is blank.
bool IsBlank(const QString& text);
// Blank, or digits only that fit a signed 32-bit integer.
bool IsIntegerText(const QString& text);
// Blank, or only digits, "-" and the user's decimal separator, converting as a whole.
bool IsFloatText(const QString& text);
// The fill character put in front until the text has at least the given length.
QString PadLeft(const QString& text, int length, QChar fill);

// A signed 32-bit decimal integer, with an optional sign and 0x/$ hexadecimal forms; throws
// KelvoError("'" + text + "' is not a valid integer value") for anything else, blank included.
int StrToInt(const QString& text);
