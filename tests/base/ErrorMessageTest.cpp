#include <gtest/gtest.h>

#include "base/KelvoError.h"

TEST(ErrorMessage, PeriodAppendedAfterCharactersAboveDot) {
    const struct {
        const char* message;
        const char* shown;
    } cases[] = {
        {"Disk full", "Disk full."},
        {"Unable to open file 'x.tif'", "Unable to open file 'x.tif'"},
        {"Done.", "Done."},
        {"JPEG error #42", "JPEG error #42."},
        {"Odd-", "Odd-"},  // '-' sorts before '.'
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatErrorMessage(QString::fromUtf8(c.message)), QString::fromUtf8(c.shown));
}
