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
// Host folders cannot contain ';' or ','. Thread-safe.
#pragma once

#include <string>

#include "picdex/export.h"

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

}  // namespace picdex
