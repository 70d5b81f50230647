// Number texts: CanBeInt, CanBeDouble and CanBeFrac.
#include <gtest/gtest.h>

#include <climits>

#include "scan/common_func.h"

namespace {

TEST(NumberTextTest, IntegersAndDecimals) {
    // Examined from the first digit, blank or sign; the value converts the whole text,
    // so text before that character counts ("a12" is 0).
    for (auto [text, expected] : {std::pair{L"0", 0},
                                  {L"250", 250},
                                  {L"-12", -12},
                                  {L"  +42 ", 42},
                                  {L"\t7", 7},
                                  {L"a12", 0},
                                  {L"-2147483648", INT_MIN}}) {
        int value = 99;
        EXPECT_EQ(1, CCommonFunc::CanBeInt(text, value)) << text;
        EXPECT_EQ(expected, value) << text;
    }
    for (const wchar_t* text : {L"", L"x", L"+", L"12a", L"1 2", L"1.5", L"+-1", L"2147483648"}) {
        int value = 99;
        EXPECT_EQ(0, CCommonFunc::CanBeInt(text, value)) << text;
        EXPECT_EQ(99, value) << text;
    }
    for (auto [text, expected] : {std::pair{L"250", 250.0},
                                  {L"-0.25", -0.25},
                                  {L" .5 ", 0.5},
                                  {L"5.", 5.0},
                                  {L"x1.5", 0.0}}) {
        double value = 99;
        EXPECT_EQ(1, CCommonFunc::CanBeDouble(text, value)) << text;
        EXPECT_DOUBLE_EQ(expected, value) << text;
    }
    CString huge(400, L'9');  // beyond the range of a double
    for (const wchar_t* text : {L"", L".", L"1.2.3", L"1e5", L"1,5", L"- 1", huge.c_str()}) {
        double value = 99;
        EXPECT_EQ(0, CCommonFunc::CanBeDouble(text, value)) << text;
        EXPECT_EQ(99.0, value) << text;
    }
}

TEST(NumberTextTest, Fractions) {
    int n = 0, d = 0;
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"1/250", n, d));
    EXPECT_EQ(std::pair(1, 250), std::pair(n, d));
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"-28/10", n, d));
    EXPECT_EQ(std::pair(-28, 10), std::pair(n, d));
    // The numerator starts at the first digit, blank or sign; the denominator at the
    // first such character after the slash, and only digits may follow it.
    EXPECT_EQ(1, CCommonFunc::CanBeFrac(L"f/ 3/x2", n, d));
    EXPECT_EQ(std::pair(3, 2), std::pair(n, d));
    for (const wchar_t* text : {L"1/", L"1", L"/250", L"1/250x", L"1/ 250", L"", L"1/-2"}) {
        n = 7, d = 8;
        EXPECT_EQ(0, CCommonFunc::CanBeFrac(text, n, d)) << text;
        EXPECT_EQ(std::pair(7, 8), std::pair(n, d)) << text;
    }
}

}  // namespace
