#include "app/ui/KelvoPrompts.h"

#include <QAction>

#include "app/ui/Dialogs.h"
#include "base/IniFile.h"
#include "base/KelvoError.h"
#include "base/KelvoUtils.h"

const TIntegerSettingPrompt JpegQualitySetting = {
    QStringLiteral("JPEG Quality"),
    QStringLiteral("Enter a number from 1 to 100"),
    QStringLiteral("JPEG"),
    QStringLiteral("Quality"),
    95,
    1,
    100,
    QStringLiteral("\" is not within [1..100] and has been ignored"),
    QStringLiteral("JPEG Quality ("),
    QStringLiteral(")")};

// The window caption's spelling is the one users have always seen.
const TIntegerSettingPrompt PanSpeedSetting = {
    QStringLiteral("Pan SPeed"),
    QStringLiteral("Enter a number from 1 to 1000"),
    QStringLiteral("Pan"),
    QStringLiteral("Speed"),
    24,
    1,
    1000,
    QStringLiteral("\" is not within [1..1000] and has been ignored"),
    QStringLiteral("Pan Speed ("),
    QStringLiteral(")")};

const TIntegerSettingPrompt MovieSpeedSetting = {
    QStringLiteral("Movie Speed (ms)"),
    QStringLiteral("Enter a number > 0"),
    QStringLiteral("Movie"),
    QStringLiteral("Speed"),
    100,
    1,
    INT_MAX,
    QStringLiteral("\" is not > 0 and has been ignored"),
    QStringLiteral("Movie Speed(ms) ["),
    QStringLiteral("]")};

int PickStrToInt(const QString& prompt, const QStringList& captions, int helpContext) {
    if (captions.size() > 9) throw KelvoError(QStringLiteral("PickStrToInt: more than 9 buttons."));
    return CurrentDialogs().ChooseButton(prompt, captions, helpContext);
}

bool AskYesNo(const QString& question, int helpContext) {
    return PickStrToInt(question, {QStringLiteral("&Yes"), QStringLiteral("&No")}, helpContext) ==
           1;
}

QString AskText(const QString& caption, const QString& prompt, const QString& defaultText) {
    return CurrentDialogs().AskText(caption, prompt, defaultText);
}

std::optional<int> PromptIntegerSetting(const QString& settingsFileName,
                                        const TIntegerSettingPrompt& setting, QAction* menuItem) {
    const int current =
        TIniFile(settingsFileName).ReadInteger(setting.Section, setting.Key, setting.Default);
    const QString answer = AskText(setting.Caption, setting.Prompt, QString::number(current));
    if (!IsIntegerText(answer)) {
        CurrentDialogs().ShowMessage(QStringLiteral("Non integer value \"") + answer +
                                     QStringLiteral("\" has been ignored"));
        return std::nullopt;
    }
    // A blank answer passed the test above and is refused here with the conversion's error.
    const int value = StrToInt(answer);
    if (value < setting.Minimum || value > setting.Maximum) {
        CurrentDialogs().ShowMessage(QStringLiteral("Value \"") + answer + setting.MessageTail);
        return std::nullopt;
    }
    TIniFile settings(settingsFileName);
    settings.WriteInteger(setting.Section, setting.Key, value);
    if (menuItem != nullptr)
        menuItem->setText(setting.CaptionPrefix + answer + setting.CaptionSuffix);
    return value;
}
