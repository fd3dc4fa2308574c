#include "app/ui/ProgramIcon.h"

#include <QString>

QList<int> ProgramIconSizes() {
    return {16, 32, 48, 128, 256};
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : ProgramIconSizes())
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/org.kelvoimage.viewer.png").arg(size),
                     QSize(size, size));
    return icon;
}
