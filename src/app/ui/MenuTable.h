#pragma once
// The menu bar as data. Each top-level menu is one table of rows, kept in the file of the
// subsystem that owns the commands; building the bar, connecting the handlers and greying the
// items all read these tables. Adding a command is one row in its menu's table and one method
// of TKelvoImageForm.

#include <span>

class QAction;
class QMenu;
class TKelvoImageForm;

// Whether an item carries a check mark, and its mark before the settings are read.
enum class TCheckMark { None, On, Off };

struct TMenuRow {
    const char* Caption;  // "&" marks the access key
    const char* Name;     // the object name, which is also the field's name
    QAction* TKelvoImageForm::*Item;
    // nullptr while the command is not built: the item is shown greyed, never silently inert.
    void (TKelvoImageForm::*Handler)();
    TCheckMark Check = TCheckMark::None;
    const char* Shortcut = nullptr;  // QKeySequence text, e.g. "Ctrl+S"
    // When the item may run besides being built; nullptr: always. UpdateMenuState applies it.
    bool (*Enabled)(const TKelvoImageForm& form) = nullptr;
};

struct TMenuTable {
    const char* Caption;  // nullptr: the rows are items of the menu bar itself
    const char* Name;
    QMenu* TKelvoImageForm::*Menu;  // nullptr with a null Caption
    std::span<const TMenuRow> Rows;
};

// One table per top-level menu, each defined beside its commands.
extern const TMenuTable kFilesMenu;    // app/ui/FilesMenu.cpp: "&Files"
extern const TMenuTable kDisplayMenu;  // view/ui/DisplayMenu.cpp: "X&2" ... "Fit"
extern const TMenuTable kRotMenu;      // transform/ui/RotMenu.cpp: "Rot"
extern const TMenuTable kBrightMenu;   // tone/ui/BrightMenu.cpp: "Bright"
extern const TMenuTable kUndoMenu;     // view/ui/UndoMenu.cpp: "&Undo"
extern const TMenuTable kHsrMenu;      // hotspot/ui/HsrMenu.cpp: "HSR"
extern const TMenuTable kProgramMenu;  // app/ui/ProgramMenu.cpp: "?" and "E&xit"

// The tables in the order the bar shows them, left to right.
std::span<const TMenuTable* const> MenuBarTables();

// The row that creates this item, or nullptr.
const TMenuRow* FindMenuRow(const TKelvoImageForm& form, const QAction* item);
