#include <gtest/gtest.h>

#include "view/FitGeometry.h"

namespace {

struct FitCase {
    const char* name;
    int imageWidth, imageHeight, viewWidth, viewHeight;
    int expectedWidth, expectedHeight;
};

const FitCase kFitCases[] = {
    {"height limits a large photo", 4000, 3000, 800, 500, 667, 500},
    {"width limits and a small image is enlarged", 100, 50, 800, 600, 800, 400},
    {"same aspect fills the view", 400, 300, 800, 600, 800, 600},
    {"tall image in a wide view", 300, 900, 800, 600, 200, 600},
    {"exact half rounds to the even neighbour below", 5, 2, 100, 1, 2, 1},
    {"exact half rounds to the even neighbour above", 7, 2, 100, 1, 4, 1},
    {"scaled side below one pixel is nothing", 1, 4, 100, 1, 0, 1},
    {"scaled half pixel rounds to nothing", 1, 2, 100, 1, 0, 1},
    {"empty image", 0, 0, 800, 600, 0, 0},
    {"image without height", 10, 0, 800, 600, 0, 0},
    {"view without width", 10, 10, 0, 600, 0, 0},
    {"view without height", 10, 10, 800, 0, 0, 0},
};

TEST(FitGeometry, DisplayedSizeInFitMode) {
    for (const FitCase& c : kFitCases) {
        SCOPED_TRACE(c.name);
        const QSize size = FittedImageSize(c.imageWidth, c.imageHeight, c.viewWidth, c.viewHeight);
        EXPECT_EQ(size.width(), c.expectedWidth);
        EXPECT_EQ(size.height(), c.expectedHeight);
    }
}

TEST(FitGeometry, FittedSizeNeverExceedsTheView) {
    for (int w = 1; w <= 60; w += 7)
        for (int h = 1; h <= 60; h += 5)
            for (int vw : {1, 13, 365, 1920})
                for (int vh : {1, 17, 500}) {
                    const QSize s = FittedImageSize(w, h, vw, vh);
                    EXPECT_LE(s.width(), vw) << w << "x" << h << " in " << vw << "x" << vh;
                    EXPECT_LE(s.height(), vh) << w << "x" << h << " in " << vw << "x" << vh;
                    // One side always fills the view.
                    EXPECT_TRUE(s.width() == vw || s.height() == vh);
                }
}

}  // namespace
