#pragma once
// Scripted dialogs that run something while a question, a text prompt or an error box is
// "open", the way a running slideshow's timer ticks on behind a real modal dialog. Constructing
// one installs it in front of the fixture's dialogs; destroying it puts those back.

#include <functional>

#include "support/ui/ScriptedDialogs.h"

class TickingDialogs : public ScriptedDialogs {
  public:
    std::function<void()> WhileAsking;  // during a button choice or a text prompt
    std::function<void()> WhileError;   // during an error box

    int ChooseButton(const QString& prompt, const QStringList& captions, int helpContext) override {
        if (WhileAsking) WhileAsking();
        return ScriptedDialogs::ChooseButton(prompt, captions, helpContext);
    }
    QString AskText(const QString& caption, const QString& prompt,
                    const QString& defaultText) override {
        if (WhileAsking) WhileAsking();
        return ScriptedDialogs::AskText(caption, prompt, defaultText);
    }
    void ShowError(const QString& text) override {
        ScriptedDialogs::ShowError(text);
        if (WhileError) WhileError();
    }
};
