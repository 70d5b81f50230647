// Number texts: CanBeInt, CanBeDouble and CanBeFrac.
#include <gtest/gtest.h>

#include <climits>

#include "scan/common_func.h"
#include "scan/number_text.h"

namespace {

TEST(NumberTextTest, IntAcceptsPlainAndSignedDigitRuns) {
    struct Case {
        const wchar_t* text;
        int value;
    };
    for (const Case& c : {Case{L"0", 0}, Case{L"250", 250}, Case{L"007", 7}, Case{L"-12", -12},
                          Case{L"+12", 12}, Case{L"  42  ", 42}, Case{L" -5", -5},
                          Case{L"2147483647", INT_MAX}, Case{L"-2147483648", INT_MIN}}) {
        int value = 99;
        EXPECT_EQ(1, CCommonFunc::CanBeInt(c.text, value)) << c.text;
        EXPECT_EQ(c.value, value) << c.text;
    }
}

TEST(NumberTextTest, IntRejectsOtherTextsAndLeavesTheValue) {
    for (const wchar_t* text :
         {L"", L" ", L"+", L"-", L"abc", L"12a", L"a12", L"1 2", L"1.5", L"+-1", L"--1", L"1-",
          L"\t7", L"2147483648", L"-2147483649", L"99999999999999999999", L"\uff11"}) {
        int value = 99;
        EXPECT_EQ(0, CCommonFunc::CanBeInt(text, value)) << text;
        EXPECT_EQ(99, value) << text;
    }
    int value = 99;
    EXPECT_EQ(0, CCommonFunc::CanBeInt(nullptr, value));
    EXPECT_EQ(99, value);
}

TEST(NumberTextTest, DoubleAcceptsDecimals) {
    struct Case {
        const wchar_t* text;
        double value;
    };
    for (const Case& c :
         {Case{L"0", 0.0}, Case{L"250", 250.0}, Case{L"2.5", 2.5}, Case{L"-0.25", -0.25},
          Case{L"+3.0", 3.0}, Case{L".5", 0.5}, Case{L"5.", 5.0}, Case{L" 1.75 ", 1.75}}) {
        double value = 99;
        EXPECT_EQ(1, CCommonFunc::CanBeDouble(c.text, value)) << c.text;
        EXPECT_DOUBLE_EQ(c.value, value) << c.text;
    }
}

TEST(NumberTextTest, DoubleRejectsOtherTexts) {
    for (const wchar_t* text : {L"", L".", L"-.", L"1.2.3", L"1e5", L"1,5", L"abc", L"1 .5", L"+-1",
                                L"0x10", L"inf", L"nan", L"- 1"}) {
        double value = 99;
        EXPECT_EQ(0, CCommonFunc::CanBeDouble(text, value)) << text;
        EXPECT_EQ(99.0, value) << text;
    }
    // A run of digits too long for a double is no number.
    CString huge(400, L'9');
    double value = 99;
    EXPECT_EQ(0, CCommonFunc::CanBeDouble(huge.c_str(), value));
    EXPECT_EQ(99.0, value);
}

TEST(NumberTextTest, Fractions) {
    int n = 0, d = 0;
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"1/250", n, d));
    EXPECT_EQ(1, n);
    EXPECT_EQ(250, d);
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"-28/10", n, d));
    EXPECT_EQ(-28, n);
    EXPECT_EQ(10, d);
    // Text before the numerator is skipped up to the first digit, blank or sign; the
    // denominator starts at the first such character after the slash.
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"f/ 3/2", n, d));
    EXPECT_EQ(3, n);  // read from the blank, which the conversion skips
    EXPECT_EQ(2, d);

    for (const wchar_t* text : {L"1/", L"1", L"/250", L"1/250x", L"1/ 250", L"abc", L"", L"1/-2"}) {
        n = 7;
        d = 8;
        EXPECT_EQ(0, CCommonFunc::CanBeFrac(text, n, d)) << text;
        EXPECT_EQ(7, n) << text;
        EXPECT_EQ(8, d) << text;
    }
    EXPECT_EQ(0, CCommonFunc::CanBeFrac(nullptr, n, d));
}

TEST(NumberTextTest, LeadingIntegerConversionClampsLikeTheRuntime) {
    EXPECT_EQ(0, scan::TextToInt(L""));
    EXPECT_EQ(12, scan::TextToInt(L"  12abc"));
    EXPECT_EQ(-3, scan::TextToInt("-3/4"));
    EXPECT_EQ(INT_MAX, scan::TextToInt(L"123456789012345"));
    EXPECT_EQ(INT_MIN, scan::TextToInt("-123456789012345"));
    EXPECT_EQ(0, scan::TextToInt(static_cast<const char*>(nullptr)));
}

}  // namespace
