#include "base/KelvoUtils.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "base/KelvoError.h"

namespace {

TEST(KelvoUtils, IsBlank) {
    const struct {
        const char* text;
        bool blank;
    } cases[] = {
        {"", true},    {" ", true},    {"\r\n", true}, {" \r \n ", true},
        {"\t", false}, {" x ", false}, {"0", false},   {"\n.\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsBlank(c.text), c.blank) << '"' << c.text << '"';
}

TEST(KelvoUtils, IsIntegerText) {
    const struct {
        const char* text;
        bool integer;
    } cases[] = {
        {"", true},
        {"  ", true},
        {"\r\n", true},
        {"007", true},
        {"0", true},
        {"2147483647", true},
        {"-5", false},
        {"+5", false},
        {"2147483648", false},
        {"99999999999", false},
        {" 5", false},
        {"5 ", false},
        {"1.0", false},
        {"0x20", false},
        {"$20", false},
        {"12a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsIntegerText(c.text), c.integer) << '"' << c.text << '"';
    // Digits of other scripts are digits to Unicode but not to a settings file.
    EXPECT_FALSE(IsIntegerText(QString::fromUtf8("\u0661\u0662")));
}

TEST(KelvoUtils, IsFloatText) {
    const struct {
        const char* text;
        bool number;
    } cases[] = {
        {"", true},     {" \r\n", true}, {"1.5", true},    {"-0.25", true}, {"42", true},
        {".5", true},   {"1e5", false},  {"1.2.3", false}, {"1-", false},   {"-", false},
        {".", false},   {"1,5", false},  {" 1.5", false},  {"1.5x", false}, {"--1", false},
        {"inf", false}, {"nan", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsFloatText(c.text), c.number) << '"' << c.text << '"';
}

TEST(KelvoUtils, IsFloatTextFollowsTheUsersSeparator) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool comma = IsFloatText("1,5");
    const bool point = IsFloatText("1.5");
    const bool grouped = IsFloatText("1.500,5");
    QLocale::setDefault(previous);
    EXPECT_TRUE(comma);
    EXPECT_FALSE(point);
    EXPECT_FALSE(grouped);
}

TEST(KelvoUtils, PadLeft) {
    const struct {
        const char* text;
        int length;
        char fill;
        const char* expected;
    } cases[] = {
        {"7", 2, '0', "07"},   {"2005", 2, '0', "2005"}, {"", 3, ' ', "   "}, {"ab", 2, '*', "ab"},
        {"5", 4, '0', "0005"}, {"x", 0, '0', "x"},       {"x", -3, '0', "x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PadLeft(c.text, c.length, QLatin1Char(c.fill)), c.expected)
            << c.text << " " << c.length;
}

TEST(KelvoUtils, StrToInt) {
    const struct {
        const char* text;
        int value;
    } good[] = {
        {"0", 0},
        {"007", 7},
        {"-5", -5},
        {"+5", 5},
        {"$20", 32},
        {"0x20", 32},
        {"0XfF", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
    };
    for (const auto& c : good)
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;

    const char* bad[] = {"",   " ",   "\r\n", "2147483648", "-2147483649", "abc",       " 5",
                         "5 ", "1.5", "0x",   "$",          "-",           "$7FFFFFFFF"};
    for (const char* text : bad) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const KelvoError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }
}

TEST(KelvoUtils, BlankAnswerPassesTheTestButFailsTheConversion) {
    ASSERT_TRUE(IsIntegerText(""));
    try {
        StrToInt("");
        FAIL() << "blank text converted";
    } catch (const KelvoError& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid integer value");
    }
}

}  // namespace
