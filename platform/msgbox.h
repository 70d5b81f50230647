// The message-box stand-in: there is no desktop, so the caption and the text are
// written as one line ("caption: text", line breaks shown as spaces) to standard
// error. Returns IDOK. Thread-safe.
#pragma once

#include "platform/types.h"

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_ICONERROR = 0x10;
constexpr int IDOK = 1;

int MessageBoxW(HWND hWnd, const wchar_t* text, const wchar_t* caption, UINT type);
