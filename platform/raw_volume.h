// Raw reads of a drive's volume. CreateFileW (platform/file.h) opens "\\.\X:" as drive
// X's device: the drive table's device= (a block device or an image file holding the
// volume), else the block device mounted at the drive's folder. Here: positional reads
// of such a handle, and why a drive's device cannot be opened, for hosts that want to
// tell their user. Thread-safe; never throws.
#pragma once

#include <string>

#include "platform/types.h"

// Reads up to `toRead` bytes at byte `offset` without moving the handle's position.
// *read gets the count: less than asked only at the end of the device. FALSE on a bad
// handle, a negative offset or a read error.
BOOL ReadFileAt(HANDLE file, void* buffer, DWORD toRead, LONGLONG offset, DWORD* read);

namespace plat {

// Tries to open drive `letter`'s raw device for reading and closes it again. Returns 0
// when it opens, else the errno of the failure: ENODEV when the drive has no device
// (not mapped, or its folder is not the mount point of a whole volume), EACCES or
// EPERM when the user may not read it, EISDIR / ENOTBLK for something that is neither
// a block device nor a file. *device (when not null) gets the device's host path.
int ProbeRawVolume(wchar_t letter, std::string* device);

}  // namespace plat
