#include "platform/msgbox.h"

#include <cstdio>
#include <string>

#include "platform/codepage.h"

int MessageBoxW(HWND, const wchar_t* text, const wchar_t* caption, UINT) {
    CString line = caption ? caption : L"";
    line += L": ";
    if (text) line += text;
    for (auto& c : line)
        if (c == L'\n' || c == L'\r') c = L' ';
    std::string out = plat::WideToMultiByte(CP_UTF8, line);
    out += '\n';
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
    return IDOK;
}
