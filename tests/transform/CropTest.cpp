// The selection between two corners and the crop shared by the window and the command line.

#include <gtest/gtest.h>

#include "support/RasterPatterns.h"
#include "transform/Crop.h"

namespace {

TEST(Crop, SelectionOrdersAndClampsTheCorners) {
    struct Case {
        const char* name;
        std::int64_t x0, y0, x1, y1;
        TSelection expected;
    };
    // A 200 x 100 image.
    const Case cases[] = {
        {"top-left to bottom-right", 10, 20, 90, 70, {10, 20, 90, 70}},
        {"bottom-right to top-left", 90, 70, 10, 20, {10, 20, 90, 70}},
        {"bottom-left to top-right", 10, 70, 90, 20, {10, 20, 90, 70}},
        {"released past the right and bottom edges keeps the last column and row",
         150,
         50,
         900,
         400,
         {150, 50, 200, 100}},
        {"negative corners clamp to 0", -5, -40, 30, 30, {0, 0, 30, 30}},
        {"both corners outside on one side: empty", 250, 10, 300, 90, {200, 10, 200, 90}},
        {"coordinates far past int range",
         -(std::int64_t(1) << 40),
         0,
         std::int64_t(1) << 40,
         100,
         {0, 0, 200, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TSelection s = SelectionBetween(c.x0, c.y0, c.x1, c.y1, 200, 100);
        EXPECT_EQ(s.Left, c.expected.Left);
        EXPECT_EQ(s.Top, c.expected.Top);
        EXPECT_EQ(s.Right, c.expected.Right);
        EXPECT_EQ(s.Bottom, c.expected.Bottom);
    }
}

TEST(Crop, ClickAndSmallThresholds) {
    struct Case {
        int w, h;
        bool click, small;
    };
    const Case cases[] = {{9, 200, true, true},   {200, 9, true, true},   {10, 10, false, true},
                          {74, 200, false, true}, {200, 74, false, true}, {75, 75, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const TSelection s{3, 4, 3 + c.w, 4 + c.h};
        EXPECT_EQ(s.IsClick(), c.click);
        EXPECT_EQ(s.IsSmall(), c.small);
    }
}

TEST(Crop, CopiesExactlyTheSelectedColumnsAndRowsWithAlpha) {
    struct Case {
        const char* name;
        TSelection selection;
    };
    const Case cases[] = {
        {"inside", {5, 7, 23, 19}},
        {"touching the right and bottom edges", {10, 0, 40, 30}},
        {"the whole image", {0, 0, 40, 30}},
        {"one column", {39, 0, 40, 30}},
    };
    TBitmap32 source;
    FillPattern(source, 40, 30);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap32 target;
        FillPattern(target, 3, 3);
        int changes = 0;
        target.OnChange = [&changes] { ++changes; };
        CropImage(source, c.selection, target);
        ASSERT_EQ(target.Width(), c.selection.Width());
        ASSERT_EQ(target.Height(), c.selection.Height());
        for (int y = 0; y < target.Height(); ++y)
            for (int x = 0; x < target.Width(); ++x)
                ASSERT_EQ(target.GetPixel(x, y),
                          PatternColor(c.selection.Left + x, c.selection.Top + y))
                    << x << "," << y;
        EXPECT_GT(changes, 0) << "the view must hear of the new picture";
    }
}

}  // namespace
