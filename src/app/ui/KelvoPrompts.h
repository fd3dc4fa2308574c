#pragma once
// The prompts every command uses. They run through CurrentDialogs() (app/ui/Dialogs.h), so
// callers pass no dialog object and tests answer them with a ScriptedDialogs.

#include <QString>
#include <QStringList>
#include <climits>
#include <optional>

class QAction;

// The "Select One" dialog with one button per caption: the 1-based index of the chosen
// caption (with equal captions the last one wins), 0 on cancel. More than nine captions throw
// KelvoError("PickStrToInt: more than 9 buttons.") and no dialog is shown.
int PickStrToInt(const QString& prompt, const QStringList& captions, int helpContext = 0);
// PickStrToInt with "&Yes" and "&No": true exactly for Yes.
bool AskYesNo(const QString& question, int helpContext = 0);
// One-line text entry: the text as typed on OK, defaultText on Cancel.
QString AskText(const QString& caption, const QString& prompt, const QString& defaultText);

// One integer setting asked for by a menu command, stored in the main settings file and shown
// in the menu item's caption as Prefix + value + Suffix.
struct TIntegerSettingPrompt {
    QString Caption;  // window caption of the text entry
    QString Prompt;
    QString Section;
    QString Key;
    int Default;
    int Minimum;  // accepted range, both ends included
    int Maximum;
    QString MessageTail;  // follows "Value \"" + answer in the out-of-range message
    QString CaptionPrefix;
    QString CaptionSuffix;
};

// The three settings asked for this way.
extern const TIntegerSettingPrompt JpegQualitySetting;  // [JPEG] Quality, 1..100
extern const TIntegerSettingPrompt PanSpeedSetting;     // [Pan] Speed, 1..1000
extern const TIntegerSettingPrompt MovieSpeedSetting;   // [Movie] Speed, > 0

// Asks for the setting with its current stored value as the default. A non-integer or
// out-of-range answer is refused with a message and nothing changes (nullopt); a blank answer
// throws StrToInt's KelvoError. Otherwise the value is stored, menuItem (may be null) is
// retitled with the answer as typed, and the value is returned for the caller to apply (the
// pan speed command sets FPanSpeed from it). Cancel stores the current value again.
std::optional<int> PromptIntegerSetting(const QString& settingsFileName,
                                        const TIntegerSettingPrompt& setting, QAction* menuItem);
