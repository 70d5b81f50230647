// The drive table: which host folder each drive letter stands for.
//
// Paths inside the library have the form C:\Photos\2008\a.jpg. Each drive letter is
// mapped to a host folder; by default C: is "/". The environment variable
// PICDEX_DRIVES, read when the table is first needed, replaces the default, and hosts
// may set the table at any time with SetDriveTable. The text is a list of entries
// separated by ';', each "<letter>=<absolute host folder>" followed by optional
// ",type=fixed|removable|remote|cdrom|ramdisk" (default fixed), ",fs=<name>" (the
// file-system name the volume query reports) and ",device=<path>" (the block device or
// NTFS image file a raw volume open reads). Example:
//   C=/;D=/srv/photos,type=removable;N=/mnt/win,fs=NTFS,device=/dev/sdb1
// Host folders cannot contain ';' or ','. A drive's type is what its entry says, whatever
// is mounted at its folder; mounts below a drive's folder are walked only when they are
// fixed disks themselves (see GetSkippedMounts). Thread-safe.
#pragma once

#include <string>
#include <vector>

#include "picdex/export.h"
#include "picdex/types.h"

namespace picdex {

// Replaces the table. On an unusable text the table is left as it was, false is
// returned and *error (when not null) names the entry and what is wrong with it.
PICDEX_API bool SetDriveTable(const std::string& text, std::string* error);

// The table in force, in the text form above (letters in order; type= only when not
// fixed).
PICDEX_API std::string GetDriveTable();

// The message of the last failed reading of PICDEX_DRIVES ("" when it was usable or
// unset); the library then runs with no drives at all rather than guess.
PICDEX_API std::string GetDriveTableError();

// A mount that a scan does not walk into.
struct SkippedMount {
    std::string hostPath;  // the mount point, e.g. "/mnt/nas"
    std::string fsType;    // its file-system name, e.g. "nfs4"
    std::string reason;    // e.g. "network share", "removable drive", "RAM disk",
                           // "bind mount of /home/ann/photos"
};

// The mounts below `folder` (a drive root such as "C:\" or any folder on a drive) that
// a folder walk from it leaves out, and why, in path order. A walk enters only mounts
// that are fixed disks (a bind mount counts as one when no fixed drive shows its files
// elsewhere); removable media, network shares, discs and images, RAM disks and union
// mounts are left out. Listed are the outermost of those the walk meets; not listed are
// pseudo file systems (/proc, /sys, ...) and the folders of other drives, which are
// walked under their own letter. When `folder` itself lies inside a mount that its
// drive's walk leaves out, that mount alone. Empty when the drive is not mapped.
PICDEX_API std::vector<SkippedMount> GetSkippedMounts(const CString& folder);

}  // namespace picdex
