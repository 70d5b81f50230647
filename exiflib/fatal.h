// The library's one report to the user: the message box shown when a segment or an
// entry cannot be made because memory ran out or its description is inconsistent.
// The operation concerned then fails; the process goes on.
//
// Buffer allocations go through NewBytes, which never throws and shows the message on
// failure. SetAllocationCeilingForTesting lets tests make every allocation above a size
// fail as if memory had run out (0, the default, sets no ceiling). Thread-safe.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/types.h"

namespace ExifLib {

void ShowFatalError();

// A zero-filled buffer of `size` bytes (size 0 gives a valid one-byte buffer), or null
// after showing the message.
std::unique_ptr<BYTE[]> NewBytes(std::size_t size);

// True when an allocation of `size` bytes is to be refused (the testing ceiling).
bool AllocationRefused(std::size_t size);

void SetAllocationCeilingForTesting(std::size_t bytes);

}  // namespace ExifLib
