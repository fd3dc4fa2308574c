// Where the printed picture goes on the page.

#include <gtest/gtest.h>

#include "info/PrintPage.h"

TEST(PrintLayoutTest, PlacesThePictureAsLargeAsThePageAllows) {
    const struct {
        const char* Case;
        int Width, Height, PrintableHeight, PrintableWidth;
        TPrintLayout Layout;
    } cases[] = {
        {"landscape photo on a portrait page", 4000, 3000, 6300, 4800, {true, 4725, 6300}},
        {"upright 3:2 photo", 4000, 6000, 6600, 4800, {false, 4400, 6600}},
        {"panorama", 6000, 1000, 6600, 4800, {true, 1100, 6600}},
        // Widths of exact halves go to the even neighbour.
        {"3300.5 pixels wide", 1, 2, 6601, 4800, {false, 3300, 6601}},
        {"3301.5 pixels wide", 1, 2, 6603, 4800, {false, 3302, 6603}},
        {"1650.5 pixels wide", 2, 8, 6602, 4800, {false, 1650, 6602}},
        // Too wide at full height: the width decides, the height follows the proportions.
        {"landscape photo turned on A4", 4000, 3000, 6816, 4760, {true, 4760, 6347}},
        {"5:4 photo", 4000, 5000, 6600, 5200, {false, 5200, 6500}},
        {"square photo", 3000, 3000, 6300, 4800, {false, 4800, 4800}},
        {"just too wide", 8, 11, 6602, 4800, {false, 4800, 6600}},
        // Closer to square than a letter page, yet narrow enough at full height.
        {"5:4 photo on a squarer page", 4000, 5000, 6600, 5400, {false, 5280, 6600}},
        // A page measured lying on its side is printed upright: its short side is the width.
        {"landscape photo, page on its side", 4000, 3000, 4800, 6300, {false, 4800, 3600}},
        {"upright photo, page on its side", 3000, 4500, 4800, 6300, {true, 4800, 3200}},
        {"square photo, page on its side", 3000, 3000, 4800, 6300, {false, 4800, 4800}},
        {"square page", 4000, 3000, 5000, 5000, {false, 5000, 3750}},
        {"no width", 0, 3000, 6300, 4800, {false, 0, 0}},
        {"no height", 4000, 0, 6300, 4800, {false, 0, 0}},
    };
    for (const auto& c : cases) {
        const TPrintLayout layout =
            PrintLayout(c.Width, c.Height, c.PrintableHeight, c.PrintableWidth);
        EXPECT_EQ(layout.Turned, c.Layout.Turned) << c.Case;
        EXPECT_EQ(layout.Width, c.Layout.Width) << c.Case;
        EXPECT_EQ(layout.Height, c.Layout.Height) << c.Case;
    }
}
