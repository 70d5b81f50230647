// CCommonFunc: the library's exported static utilities for paths, files, picture
// recognition, number and date texts, digests and the default scan scope.
//
// The class holds no instance data. Its only state is the process-wide picture
// extension table (a key set and a filter text), filled by InitPicExt and read by
// IsPicFile and GetPicExtFilter; it is unguarded, so InitPicExt must not run while
// another thread recognises pictures. Every other function is re-entrant.
// Nothing here throws: failures give 0, "" or "." as each function says.
// Paths are in drive-letter form (C:\Photos\a.jpg); a folder path ends in a backslash.
#pragma once

#include <set>

#include "picdex/ctime.h"
#include "picdex/export.h"
#include "picdex/search_types.h"
#include "picdex/types.h"

// One picture found in a folder by the folder walk or the NTFS reader. A set of them is
// ordered by file name, case-sensitively.
struct _tagSimpleFileInfo {
    CString strFileName;      // the name only, without folder
    ULONGLONG iFileSize = 0;  // bytes
    CTime tFileModify;        // last-write time

    bool operator<(const _tagSimpleFileInfo& other) const {
        return strFileName.compare(other.strFileName) < 0;
    }
};

class PICDEX_API CCommonFunc {
public:
    // --- Picture recognition ---------------------------------------------------------
    // Replaces the extension table: with `exts` (entries without dot, in the set's
    // order) or, when it is empty, with the 27 default extensions.
    static void InitPicExt(const std::set<CString>& exts);
    // The filter text, for example "*.jpg | *.png".
    static const CString& GetPicExtFilter();
    // 1 when the name's extension is in the table. `len` < 1: measure up to the zero.
    // A wide name with a character above 127 after its last dot is refused; 8-bit names
    // are read as signed bytes, which are never above 127.
    static int IsPicFile(const wchar_t* name, int len);
    static int IsPicFile(const char* name, int len);
    static int IsPicFile(const CString& name);

    // --- Path texts ------------------------------------------------------------------
    // Folder of the process executable with its trailing backslash, or ".".
    static CString GetCurModulePath();
    // Appends a backslash to a non-empty path that lacks one.
    static void CheckFolderName(CString& path);
    // C:\a\b\ -> C:\a\ ; C:\ -> "".
    static CString GetParentFolder(CString path);
    // C:\a\b\ -> b ; C:\a\b.jpg -> b.jpg.
    static CString GetTitle(CString path);
    // The text after the last dot, "" when there is none or it is the first character.
    static CString GetFileExt(const CString& name);
    static int IsDirectory(const CString& path);
    // 1 when the path's drive is formatted NTFS.
    static int IsInNTFS(const CString& path);

    // --- File system -----------------------------------------------------------------
    // Creates a folder and every missing parent; non-zero when it exists at the end.
    static int CreatePathR(const CString& folder);
    // Creates an empty file (and its folders) when missing; 1 when it exists at the end.
    static int CreateFileIfNotExist(const CString& file);
    // Lists `folder` (with trailing backslash): picture names into `picNames`, the full
    // paths of sub-folders (no trailing backslash) into `subFolders`. The sets are not
    // cleared. 0 when the folder cannot be listed.
    static int EnumFolderChild(const CString& folder, std::set<CString>& picNames,
                               std::set<CString>& subFolders);
    // As above with name, size and last-write time per picture. `stop` is polled before
    // each entry; when it is signalled the call returns 0, keeping what it found so far.
    static int EnumFolderChild(const CString& folder, std::set<_tagSimpleFileInfo>& pics,
                               std::set<CString>& subFolders, HANDLE stop);

    // --- Number and date texts -------------------------------------------------------
    // Examined from the first digit, blank or sign (or point) on; on success 1 and
    // `value` = the conversion of the whole text; otherwise 0 and `value` untouched.
    static int CanBeInt(const wchar_t* text, int& value);
    static int CanBeDouble(const wchar_t* text, double& value);
    // "numerator/denominator".
    static int CanBeFrac(const wchar_t* text, int& numerator, int& denominator);
    // A date text of year, month, day or second precision -> the first and the last
    // second it covers (local time). On failure 0 and both outputs untouched.
    static int CanBeTime(const wchar_t* text, CTime& from, CTime& to);
    static int CanBeTime(const char* text, CTime& from, CTime& to);

    // --- Digests ---------------------------------------------------------------------
    // 32 upper-case hexadecimal characters of the file's MD5 into `digest`; 1 on success,
    // 0 (digest untouched) when the file cannot be opened or read.
    static int GetMD5(const CString& file, CString& digest);
    static CString GetMD5(const char* buffer, DWORD length);

    // --- Scan scope (drive roots and folders, each with a trailing backslash) ----------
    // Roots of fixed drives whose volume can be queried, NTFS ones when `withNtfs`,
    // the others when `withOther`. `reserved` has no effect. Adds to `drives`.
    static void GetAllDrivers(std::set<CString>& drives, int reserved, int withNtfs, int withOther);
    // Folders excluded from scanning by default (system, programs, temporary folders).
    static void GetDefaultBlackList(std::set<CString>& folders);
    // Folders included by default (the Windows wallpapers, the user's documents).
    static void GetDefaultWhiteList(std::set<CString>& folders);
    // "System Volume Information" of every fixed drive: always excluded.
    static void GetFixedBlackList(std::set<CString>& folders);
    // The host application's installation folder from the registry, or "".
    static CString GetHostInstallFolder();
    // A value of the host's path settings file, or "".
    static CString GetHostPathSetting(const wchar_t* key, const CString& settingsFile);

    // --- Searchable fields -----------------------------------------------------------
    // Copies the entry of the field table with this id into `info`: 1 when found, 0
    // otherwise (`info` untouched). The table (37 entries) is built on first use.
    static int GetFieldInfo(int iFieldID, _tagFieldInfo& info);
};
