// Path texts: folder names, parents, titles and extensions.
#include <gtest/gtest.h>

#include "scan/common_func.h"

namespace {

TEST(PathTextTest, CheckFolderNameAppendsOneBackslash) {
    CString path = L"C:\\Photos";
    CCommonFunc::CheckFolderName(path);
    EXPECT_EQ(CString(L"C:\\Photos\\"), path);
    CCommonFunc::CheckFolderName(path);
    EXPECT_EQ(CString(L"C:\\Photos\\"), path);
    CString empty;
    CCommonFunc::CheckFolderName(empty);
    EXPECT_EQ(CString(), empty);
}

TEST(PathTextTest, ParentFolder) {
    EXPECT_EQ(CString(L"C:\\a\\"), CCommonFunc::GetParentFolder(L"C:\\a\\b\\"));
    EXPECT_EQ(CString(L"C:\\a\\"), CCommonFunc::GetParentFolder(L"C:\\a\\b"));
    EXPECT_EQ(CString(L"C:\\a\\"), CCommonFunc::GetParentFolder(L"C:\\a\\b.jpg"));
    EXPECT_EQ(CString(L"C:\\"), CCommonFunc::GetParentFolder(L"C:\\a\\"));
    EXPECT_EQ(CString(L"C:\\a\\"), CCommonFunc::GetParentFolder(L"C:\\a\\b\\\\\\"));
    EXPECT_EQ(CString(), CCommonFunc::GetParentFolder(L"C:\\"));
    EXPECT_EQ(CString(), CCommonFunc::GetParentFolder(L"C:"));
    EXPECT_EQ(CString(), CCommonFunc::GetParentFolder(L"\\a"));
    EXPECT_EQ(CString(), CCommonFunc::GetParentFolder(L""));
    EXPECT_EQ(CString(), CCommonFunc::GetParentFolder(L"\\\\\\"));
    // Walking up always ends, at "".
    CString p = L"C:\\1\\2\\3\\4\\";
    int steps = 0;
    while (!p.empty() && steps < 10) {
        p = CCommonFunc::GetParentFolder(p);
        ++steps;
    }
    EXPECT_EQ(5, steps);
}

TEST(PathTextTest, Title) {
    EXPECT_EQ(CString(L"b"), CCommonFunc::GetTitle(L"C:\\a\\b\\"));
    EXPECT_EQ(CString(L"photos"), CCommonFunc::GetTitle(L"C:\\photos\\"));
    EXPECT_EQ(CString(L"b.jpg"), CCommonFunc::GetTitle(L"C:\\a\\b.jpg"));
    EXPECT_EQ(CString(L"C:"), CCommonFunc::GetTitle(L"C:\\"));
    EXPECT_EQ(CString(L"name"), CCommonFunc::GetTitle(L"name"));
    EXPECT_EQ(CString(L"\\a"), CCommonFunc::GetTitle(L"\\a\\"));
    EXPECT_EQ(CString(), CCommonFunc::GetTitle(L"\\\\"));
    EXPECT_EQ(CString(L"\u4e2d\u6587"), CCommonFunc::GetTitle(L"D:\\x\\\u4e2d\u6587\\"));
}

TEST(PathTextTest, FileExt) {
    EXPECT_EQ(CString(L"jpg"), CCommonFunc::GetFileExt(L"photo.jpg"));
    EXPECT_EQ(CString(L"JPG"), CCommonFunc::GetFileExt(L"C:\\a\\b.c.JPG"));
    EXPECT_EQ(CString(), CCommonFunc::GetFileExt(L".profile"));
    EXPECT_EQ(CString(), CCommonFunc::GetFileExt(L"README"));
    EXPECT_EQ(CString(), CCommonFunc::GetFileExt(L"name."));
    EXPECT_EQ(CString(), CCommonFunc::GetFileExt(L""));
}

}  // namespace
