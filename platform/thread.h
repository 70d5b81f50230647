// Threads with exit codes and priorities.
//
// CreateThread starts the function at once on a new detached thread and returns a
// waitable handle (signalled when the thread has ended), or 0 on failure. The handle
// stays valid until CloseHandle, whether or not the thread still runs.
// Priorities are the system's -15..15 scale (higher runs first); each thread's value
// is applied as the Linux nice value -priority. Raising above the process's own
// priority needs privileges; a refusal is ignored and reported only through the
// return value, as callers here ignore it.
#pragma once

#include "platform/types.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(void* param);
constexpr DWORD STILL_ACTIVE = 259;

HANDLE CreateThread(LPTHREAD_START_ROUTINE fn, void* param, DWORD* threadId);
// The exit code, or STILL_ACTIVE while the thread runs; FALSE for a bad handle.
BOOL GetExitCodeThread(HANDLE h, DWORD* exitCode);
BOOL SetThreadPriority(HANDLE h, int priority);
// The thread's current priority as read back from the system (-nice), or 0 for a bad
// handle or an ended thread.
int GetThreadPriority(HANDLE h);
DWORD GetThreadId(HANDLE h);
DWORD GetCurrentThreadId();
