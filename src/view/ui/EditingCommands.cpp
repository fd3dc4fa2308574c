// Menu wiring of the editing commands: undo, clipboard, quarter turns, flip, mirror and saving.

#include <QAction>

#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"

void TKelvoImageForm::ConnectEditingCommands() {
    const struct {
        QAction* Item;
        void (TKelvoImageForm::*Handler)();
    } commands[] = {
        {Undo1, &TKelvoImageForm::Undo1Click},
        {Copy1, &TKelvoImageForm::Copy1Click},
        {CWButton, &TKelvoImageForm::CWButtonClick},
        {CCWButton, &TKelvoImageForm::CCWButtonClick},
        {FlipButton, &TKelvoImageForm::FlipButtonClick},
        {MirrorButton, &TKelvoImageForm::MirrorButtonClick},
        {Save1, &TKelvoImageForm::Save1Click},
        {SaveAs1, &TKelvoImageForm::SaveAs1Click},
        {SaveAsTransparentGIF1, &TKelvoImageForm::SaveAsTransparentGIF1Click},
        {ConvertTo1, &TKelvoImageForm::ConvertTo1Click},
        {SaveUnique1, &TKelvoImageForm::SaveUnique1Click},
        {JPEGQuality1, &TKelvoImageForm::JPEGQuality1Click},
    };
    for (const auto& command : commands)
        connect(command.Item, &QAction::triggered, this, Command(this, command.Handler));
}
