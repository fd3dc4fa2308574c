// Building, wiring and greying the menu bar from the menu tables.

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include "app/ui/CommandDispatch.h"
#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"

std::span<const TMenuTable* const> MenuBarTables() {
    static const TMenuTable* const tables[] = {
        &kFilesMenu, &kDisplayMenu, &kRotMenu, &kBrightMenu, &kUndoMenu, &kHsrMenu, &kProgramMenu,
    };
    return tables;
}

const TMenuRow* FindMenuRow(const TKelvoImageForm& form, const QAction* item) {
    for (const TMenuTable* table : MenuBarTables())
        for (const TMenuRow& row : table->Rows)
            if (form.*row.Item == item) return &row;
    return nullptr;
}

void TKelvoImageForm::CreateMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);
    // Twelve items must share 365 pixels with the default font; the styles' usual spacing
    // would push the last three behind an overflow button.
    MainMenu1->setStyleSheet(
        QStringLiteral("QMenuBar { spacing: 0px; } QMenuBar::item { padding: 2px 4px; }"));
    for (const TMenuTable* table : MenuBarTables()) {
        QMenu* menu = nullptr;
        if (table->Caption) {
            menu = MainMenu1->addMenu(QString::fromUtf8(table->Caption));
            menu->setObjectName(QLatin1String(table->Name));
            this->*table->Menu = menu;
        }
        for (const TMenuRow& row : table->Rows) {
            const QString caption = QString::fromUtf8(row.Caption);
            QAction* item = menu ? menu->addAction(caption) : MainMenu1->addAction(caption);
            item->setObjectName(QLatin1String(row.Name));
            if (row.Check != TCheckMark::None) {
                item->setCheckable(true);
                item->setChecked(row.Check == TCheckMark::On);
            }
            if (row.Shortcut) item->setShortcut(QKeySequence(QString::fromUtf8(row.Shortcut)));
            item->setEnabled(row.Handler != nullptr);
            this->*row.Item = item;
        }
    }
}

void TKelvoImageForm::ConnectMenuCommands() {
    for (const TMenuTable* table : MenuBarTables())
        for (const TMenuRow& row : table->Rows)
            if (row.Handler)
                connect(this->*row.Item, &QAction::triggered, this, Command(this, row.Handler));
}

void TKelvoImageForm::UpdateMenuState() {
    for (const TMenuTable* table : MenuBarTables())
        for (const TMenuRow& row : table->Rows)
            if (row.Handler && row.Enabled) (this->*row.Item)->setEnabled(row.Enabled(*this));
}
