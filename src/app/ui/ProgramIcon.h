#pragma once
// The program's icon, drawn for it in data/icons/ and compiled in at every size it is drawn at,
// so that task bars and window lists show it wherever the program runs from.

#include <QIcon>
#include <QList>

QList<int> ProgramIconSizes();  // 16, 32, 48, 128, 256
QIcon ProgramIcon();
