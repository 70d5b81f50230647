// Special folders, the temporary folder and the process's executable, in library form.
//
// Special folders: application data is $XDG_DATA_HOME (default ~/.local/share),
// documents the XDG documents folder ($XDG_DOCUMENTS_DIR, or the one named in
// ~/.config/user-dirs.dirs, default ~/Documents), the Windows folder /usr, program
// files /opt. Each is known only when it lies on a mapped drive; it is returned without
// a trailing backslash. Thread-safe; failures are FALSE or 0.
#pragma once

#include "platform/types.h"

constexpr int CSIDL_PERSONAL = 5;
constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_WINDOWS = 36;
constexpr int CSIDL_PROGRAM_FILES = 38;

// With bCreate, a missing folder is created (with its missing parents).
BOOL SHGetSpecialFolderPathW(HWND hwnd, CString& path, int csidl, BOOL bCreate);
// $TMPDIR, or /tmp, with a trailing backslash. Its length, or 0 when it does not lie on
// a mapped drive.
DWORD GetTempPathW(CString& path);
// The full path of the process's executable (module null: the process). Its length,
// or 0 when it cannot be read or does not lie on a mapped drive.
DWORD GetModuleFileNameW(void* module, CString& path);
