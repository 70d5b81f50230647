// Host windows: where the library's messages go.
//
// A host registers a window procedure and gets a window handle to hand to the library.
// Sending a message calls the procedure synchronously on the sender's thread and returns
// its result; a handle that is not (or no longer) registered gets nothing and 0.
// Destroying a window while another thread is inside its procedure is allowed: that call
// completes, later sends find no window. Thread-safe.
#pragma once

#include <functional>

#include "picdex/export.h"
#include "picdex/types.h"

using WindowProc = std::function<LRESULT(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)>;

// A new window handle (never 0) for `proc`.
PICDEX_API HWND CreateHostWindow(WindowProc proc);
PICDEX_API BOOL DestroyWindow(HWND hWnd);
PICDEX_API BOOL IsWindow(HWND hWnd);
PICDEX_API LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
