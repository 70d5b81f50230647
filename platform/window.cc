#include "platform/window.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

struct Windows {
    std::mutex lock;
    std::map<std::uintptr_t, std::shared_ptr<WindowProc>> procs;
    std::uintptr_t next = 0x10000;
};

Windows& TheWindows() {
    static Windows* w = new Windows;
    return *w;
}

std::shared_ptr<WindowProc> Find(HWND hWnd) {
    Windows& w = TheWindows();
    std::lock_guard<std::mutex> g(w.lock);
    auto it = w.procs.find(reinterpret_cast<std::uintptr_t>(hWnd));
    return it == w.procs.end() ? nullptr : it->second;
}

}  // namespace

HWND CreateHostWindow(WindowProc proc) {
    Windows& w = TheWindows();
    std::lock_guard<std::mutex> g(w.lock);
    std::uintptr_t id = w.next++;
    w.procs.emplace(id, std::make_shared<WindowProc>(std::move(proc)));
    return reinterpret_cast<HWND>(id);
}

BOOL DestroyWindow(HWND hWnd) {
    Windows& w = TheWindows();
    std::lock_guard<std::mutex> g(w.lock);
    return w.procs.erase(reinterpret_cast<std::uintptr_t>(hWnd)) ? TRUE : FALSE;
}

BOOL IsWindow(HWND hWnd) {
    return Find(hWnd) ? TRUE : FALSE;
}

LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<WindowProc> proc = Find(hWnd);
    if (!proc || !*proc) return 0;
    return (*proc)(hWnd, msg, wParam, lParam);
}
