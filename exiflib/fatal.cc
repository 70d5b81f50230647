#include "exiflib/fatal.h"

#include <atomic>
#include <new>

#include "platform/msgbox.h"

namespace ExifLib {
namespace {
std::atomic<std::size_t> g_ceiling{0};
}

// Shown on every platform: without a desktop the message-box stand-in writes the caption
// and text as one line to standard error, which is where such a report can still be seen.
void ShowFatalError() {
    MessageBoxW(nullptr,
                L"data corrupted or memory exhausted detected!\nnow the application has to quit.",
                L"fatal error", MB_ICONERROR);
}

bool AllocationRefused(std::size_t size) {
    std::size_t ceiling = g_ceiling.load(std::memory_order_relaxed);
    return ceiling != 0 && size > ceiling;
}

std::unique_ptr<BYTE[]> NewBytes(std::size_t size) {
    BYTE* p = AllocationRefused(size) ? nullptr : new (std::nothrow) BYTE[size ? size : 1]();
    if (p == nullptr) ShowFatalError();
    return std::unique_ptr<BYTE[]>(p);
}

void SetAllocationCeilingForTesting(std::size_t bytes) {
    g_ceiling.store(bytes, std::memory_order_relaxed);
}

}  // namespace ExifLib
