// Drive letters, their host folders, and the translation of paths between the
// library's form (C:\Photos\a.jpg) and the host's (/Photos/a.jpg).
//
// Translation: a library path needs a mapped drive letter and ':'; '\' and '/' both
// separate components; empty and "." components are dropped and ".." goes up but never
// above the drive root (as the library's paths behave). Host names that contain '\'
// or are not valid UTF-8 cannot be expressed in the library's form: such host paths
// fail to translate and folder listings leave them out.
// All functions are thread-safe and never throw; failures are FALSE / false / 0.
#pragma once

#include <string>
#include <vector>

#include "picdex/drives.h"
#include "platform/types.h"

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

// Bit i set when drive 'A' + i is in the table.
DWORD GetLogicalDrives();
// The type of the drive of `root` (its first character is the letter):
// DRIVE_NO_ROOT_DIR when the letter is not mapped or its host folder is missing.
UINT GetDriveTypeW(const wchar_t* root);
// The file-system name of the volume of `root`, copied into fsName (at most
// fsNameSize - 1 characters and a terminator). The table's fs= when given; otherwise
// the host file system: vfat is "FAT32", exfat is "exFAT", an NTFS driver is "NTFS"
// only when the drive's raw device can be opened for reading (otherwise its driver's
// own name, so that the drive is walked folder by folder); other names as the host
// reports them. FALSE when the drive is not mapped, its folder is missing, or the
// name does not fit.
BOOL GetVolumeInformationW(const wchar_t* root, wchar_t* fsName, DWORD fsNameSize);

namespace plat {

namespace mounts {
struct Mount;
class Table;
}  // namespace mounts

struct DriveInfo {
    wchar_t letter = 0;      // 'A'..'Z'
    std::string hostFolder;  // absolute, without trailing '/' (except "/")
    std::string realFolder;  // hostFolder with links resolved, when it exists
    UINT type = DRIVE_FIXED;
    std::string fs;      // configured file-system name, or ""
    std::string device;  // configured raw device, or ""
};

// Parses a drive-table text (see picdex/drives.h). On failure returns false and sets
// *error naming the entry.
bool ParseDriveTable(const std::string& text, std::vector<DriveInfo>& drives, std::string* error);

// Forgets the table in force, so that the next lookup reads PICDEX_DRIVES again.
void ResetDriveTable();

// A copy of the table in force.
std::vector<DriveInfo> GetDrives();
bool FindDrive(wchar_t letter, DriveInfo& info);

// Library path -> host path. False when the drive is not mapped or the path has no
// drive. "C:\" with C = "/" gives "/".
bool ToHostPath(const CString& path, std::string& hostPath);
// Host path (absolute) -> library path, on the drive whose folder holds it most
// closely. Folders come back without a trailing backslash, except drive roots ("C:\").
bool ToLibraryPath(const std::string& hostPath, CString& path);

// The host path of a drive's raw device ("" when it has none): the table's device=,
// else the device mounted at the drive's folder.
std::string RawDeviceOf(wchar_t letter);

// True when `hostPath` is the folder of a drive other than `letter`.
bool IsOtherDriveFolder(const std::string& hostPath, wchar_t letter);
// The same, against a copy of the table.
bool IsOtherDriveFolder(const std::vector<DriveInfo>& drives, const std::string& hostPath,
                        wchar_t letter);

// Whether a folder walk of a drive enters mount `m`, met below the drive's folder: only
// a fixed disk is entered, and a bind mount when no fixed drive of `drives` holds the
// place where its files are shown already.
bool WalkEnters(const mounts::Mount& m, const std::vector<DriveInfo>& drives);
// The outermost mount that a walk of `drive` does not enter on the way from the drive's
// folder down to `realPath` (the folder's own mount included, the drive folder's not),
// or null. For a path outside the drive's folder (reached through a link) every mount
// on the way from "/" is judged.
const mounts::Mount* SkippedMountAbove(const mounts::Table& table,
                                       const std::vector<DriveInfo>& drives, const DriveInfo& drive,
                                       const std::string& realPath);

}  // namespace plat
