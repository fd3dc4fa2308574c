// The menu bar as the menu tables build it: every item from a row, nothing clickable that does
// nothing, and the Files items that used to be inert.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

#include "app/ui/KelvoImageUnit.h"
#include "app/ui/MenuTable.h"
#include "support/ui/MainWindowFixture.h"

namespace {

class MainMenu : public MainWindowFixture {};

// The items of the bar and of its menus, in order; a menu's own entry on the bar is not an item.
QList<QAction*> Items(QMenuBar* bar) {
    QList<QAction*> items;
    for (QAction* action : bar->actions()) {
        if (QMenu* menu = action->menu())
            items += menu->actions();
        else
            items.append(action);
    }
    return items;
}

TEST_F(MainMenu, EveryItemComesFromARowAndOnlyBuiltCommandsCanBeClicked) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    const QList<QAction*> items = Items(form.MainMenu1);
    int rows = 0;
    for (const TMenuTable* table : MenuBarTables())
        rows += int(table->Rows.size());
    EXPECT_EQ(items.size(), rows);
    for (QAction* item : items) {
        SCOPED_TRACE(item->text().toStdString());
        const TMenuRow* row = FindMenuRow(form, item);
        ASSERT_NE(row, nullptr) << "an item outside the menu tables";
        EXPECT_EQ(item->objectName(), QLatin1String(row->Name));
        if (!row->Handler) {
            EXPECT_FALSE(item->isEnabled()) << "clickable, but its command is not built";
        } else if (!row->Enabled) {
            EXPECT_TRUE(item->isEnabled());
        }
    }
}

TEST_F(MainMenu, RegisterFileTypesAsksTheQuestionsAgain) {
    MarkRegistered();
    TKelvoImageForm& form = Start();
    ASSERT_TRUE(FDialogs.Prompts().isEmpty());
    FDialogs.AnswerYes();  // JPEG
    for (int i = 0; i < 3; ++i)
        FDialogs.AnswerNo();
    form.RegisterFileTypes1->trigger();
    ASSERT_EQ(FDialogs.Prompts().size(), 4);
    EXPECT_TRUE(FDialogs.Prompts().first().contains(QStringLiteral("JPG")));
    // One confirmation per JPEG extension, and not the first start's pointer to this item.
    EXPECT_EQ(FDialogs.Messages().size(), 3);
    for (const QString& message : FDialogs.Messages())
        EXPECT_FALSE(message.contains(QStringLiteral("also available")));
    EXPECT_TRUE(QFile::exists(PathOf(QStringLiteral("data/applications/kelvoimage-portable.desktop"))));
    EXPECT_TRUE(FDialogs.Errors().isEmpty());
}

}  // namespace
