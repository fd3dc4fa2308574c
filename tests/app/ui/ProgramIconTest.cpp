#include "app/ui/ProgramIcon.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

// Every drawn size is compiled in and is a picture, not a blank: a missing resource gives a null
// pixmap, and a broken rendering a transparent one.
TEST(ProgramIcon, EveryDrawnSizeIsThere) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : ProgramIconSizes()) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        // The frame's dark edge and the sky's blue both show, even at 16 px.
        EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 200);
        EXPECT_GT(qBlue(image.pixel(size / 4, size / 3)), qRed(image.pixel(size / 4, size / 3)));
    }
}
