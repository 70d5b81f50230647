// The scalar types, handles and constants the rest of the system is written in.
// Sizes follow the system's own data model: BYTE 8 bits, WORD 16, DWORD/UINT/LONG 32.
#pragma once

#include <cstdint>
#include <string>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

// An opaque kernel-object handle (event, thread). 0 is "no handle".
using HANDLE = void*;
// A host window handle, see picdex/window.h.
using HWND = void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Every path, name and text inside the system: a wide string. On this platform
// wchar_t is UTF-32, so one element is one character (as SQLite's substr counts).
using CString = std::wstring;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
