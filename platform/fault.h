// Containment of hardware faults on worker threads.
//
// CallWithFaultGuard runs fn(arg) so that a hardware fault raised on this thread while
// it runs (SIGSEGV, SIGBUS, SIGFPE, SIGILL) abandons the call instead of ending the
// process: the thread jumps back here on its own alternate signal stack and the call
// reports the signal. Frames between are abandoned without running destructors, so
// what they held (locks, memory) is lost; the guarded code is expected to be a
// thread's whole body, which ends right after.
// A fault on a thread that is not inside a guarded call keeps the effect it had
// before (the previous handler, or the default: the process ends).
#pragma once

#include "platform/types.h"

// True when fn returned (its value in *result); false after a fault (the signal
// number in *faultSignal when not null).
bool CallWithFaultGuard(DWORD (*fn)(void*), void* arg, DWORD* result, int* faultSignal);
