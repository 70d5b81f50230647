// The note on standard error about the mounts that a scan leaves out (network shares,
// removable media, discs and images, RAM disks, union and bind mounts), so that nobody
// wonders where the NAS went.
#pragma once

#include <vector>

#include "picdex/types.h"

namespace cli {

// The first time it is called in the process: prints on standard error one line for
// each mount below `folders` (library paths: drive roots such as "C:\" or folders on a
// drive) that a scan of them does not enter, with why, for example
//   picdex: not scanned: /mnt/nas (network share, nfs4)
// More than three mounts of one kind are put in one line, for example
//   picdex: not scanned: 27 mounts under /snap (read-only image, squashfs)
// Later calls print nothing. Returns the number of lines printed.
int NoteSkippedMounts(const std::vector<CString>& folders);

}  // namespace cli
