// A stand-in for a host application: three registered windows (folders, statistics,
// results) whose procedures record every message with a copy of its payload and the
// time and thread it arrived on. A hook runs inside the procedures, on a thread of its
// own as a host's window thread would be, while the sender waits for it; a hook that is
// still blocked after 20 s counts as a deadlock and the procedure returns.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "picdex/host_messages.h"
#include "picdex/window.h"

namespace testutil {

struct HostMessage {
    HWND hWnd = nullptr;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::chrono::steady_clock::time_point at;
    std::thread::id thread;
    CSearchResultSet results;
    CFolderSavedList folders;
    CFolderStatsMap stats;
};

class HostStandIn {
public:
    HostStandIn() : folder(Make()), stats(Make()), result(Make()) {}
    ~HostStandIn() {
        for (HWND w : {folder, stats, result})
            DestroyWindow(w);
        for (auto& f : m_hooks)
            f.wait();
    }
    HWND folder, stats, result;

    // Runs inside every message; for the results message `set` is the live set, which
    // the hook may take entries out of (otherwise null).
    std::function<void(const HostMessage&, CSearchResultSet* set)> onMessage;
    std::atomic<bool> blocked{false};  // a hook did not return in time

    std::vector<HostMessage> Messages() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_messages;
    }
    std::vector<UINT> Codes() {
        std::vector<UINT> codes;
        for (const auto& m : Messages())
            codes.push_back(m.msg);
        return codes;
    }
    void Clear() {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.clear();
    }
    // Waits until at least `n` messages `msg` arrived; false after `seconds`.
    bool WaitFor(UINT msg, size_t n = 1, double seconds = 120) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::duration<double>(seconds), [&] {
            size_t k = 0;
            for (const auto& m : m_messages)
                k += m.msg == msg;
            return k >= n;
        });
    }

private:
    HWND Make() {
        return CreateHostWindow([this](HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            HostMessage m{hWnd,
                          msg,
                          wParam,
                          lParam,
                          std::chrono::steady_clock::now(),
                          std::this_thread::get_id(),
                          {},
                          {},
                          {}};
            CSearchResultSet* set = nullptr;
            if (msg == WM_PD_SEARCH_RESULTS) m.results = *(set = (CSearchResultSet*)wParam);
            if (msg == WM_PD_FOLDERS_SAVED) m.folders = *(CFolderSavedList*)wParam;
            if (msg == WM_PD_FOLDER_STATS) m.stats = *(CFolderStatsMap*)wParam;
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_messages.push_back(m);
            }
            if (onMessage) {
                m_hooks.push_back(std::async(std::launch::async, [=, this] { onMessage(m, set); }));
                if (m_hooks.back().wait_for(std::chrono::seconds(20)) != std::future_status::ready)
                    blocked = true;
            }
            m_changed.notify_all();
            return LRESULT(0);
        });
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<HostMessage> m_messages;
    std::vector<std::future<void>> m_hooks;
};

}  // namespace testutil
