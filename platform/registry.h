// The registry stand-in. The host has no registry: PICDEX_REGISTRY may name a text file
// of lines "<KEY>\<PATH>\<ValueName>=<value>" (UTF-8; blank lines and lines starting
// with '#' or ';' ignored), for example
//   HKEY_LOCAL_MACHINE\SOFTWARE\Example\Directory=C:\Program Files\Example
// Key paths and value names compare without regard to ASCII case; "HKLM" and "HKCU"
// may abbreviate the two roots. Without the variable every lookup fails. The file is
// read at each RegOpenKeyExW, so changes show at the next lookup. Thread-safe.
#pragma once

#include "platform/types.h"

struct HKEY__;
using HKEY = HKEY__*;
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t(0x80000001));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t(0x80000002));

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD REG_SZ = 1;

// Opens `subKey` under `root`: ERROR_SUCCESS when some value lies directly under it.
LONG RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD options, DWORD samDesired, HKEY* result);
// Reads a text value as REG_SZ into `data` (its size in bytes in *cbData, updated to the
// bytes stored, terminator included). ERROR_MORE_DATA when it does not fit,
// ERROR_FILE_NOT_FOUND when there is no such value.
LONG RegQueryValueExW(HKEY key, const wchar_t* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* cbData);
LONG RegCloseKey(HKEY key);
