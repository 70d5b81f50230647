// Path texts: folder names, parents, titles and extensions.
#include <gtest/gtest.h>

#include "scan/common_func.h"

namespace {

TEST(PathTextTest, FolderParentTitleAndExtension) {
    CString path = L"C:\\Photos", empty;
    CCommonFunc::CheckFolderName(path);
    CCommonFunc::CheckFolderName(path);
    CCommonFunc::CheckFolderName(empty);
    EXPECT_EQ(CString(L"C:\\Photos\\"), path);
    EXPECT_EQ(CString(), empty);

    struct Case {
        const wchar_t *path, *parent, *title;
    };
    for (const Case& c :
         {Case{L"C:\\a\\b\\", L"C:\\a\\", L"b"}, Case{L"C:\\a\\b.jpg", L"C:\\a\\", L"b.jpg"},
          Case{L"C:\\a\\b\\\\\\", L"C:\\a\\", L"b"}, Case{L"C:\\photos\\", L"C:\\", L"photos"},
          Case{L"C:\\", L"", L"C:"}, Case{L"\\a\\", L"", L"\\a"}, Case{L"name", L"", L"name"},
          Case{L"\\\\", L"", L""}, Case{L"", L"", L""}}) {
        EXPECT_EQ(CString(c.parent), CCommonFunc::GetParentFolder(c.path)) << c.path;
        EXPECT_EQ(CString(c.title), CCommonFunc::GetTitle(c.path)) << c.path;
    }
    EXPECT_EQ(CString(L"JPG"), CCommonFunc::GetFileExt(L"C:\\a\\b.c.JPG"));
    for (const wchar_t* name : {L".profile", L"README", L"name.", L""})
        EXPECT_EQ(CString(), CCommonFunc::GetFileExt(name)) << name;
}

}  // namespace
