// A host window for the library's messages, destroyed with its owner. A call that the
// notifier thread is making at that moment still completes, so whatever the procedure
// touches must be shared with it (held by a shared_ptr the procedure captures), not
// owned by the object that destroys the window.
#pragma once

#include <utility>

#include "picdex/window.h"

namespace cli {

class HostWindow {
public:
    explicit HostWindow(WindowProc proc) : hWnd_(CreateHostWindow(std::move(proc))) {}
    ~HostWindow() { DestroyWindow(hWnd_); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND Handle() const { return hWnd_; }

private:
    HWND hWnd_;
};

}  // namespace cli
