// A stand-in for a host application: three registered windows (folders, statistics,
// results) whose procedures record every message the library sends, with a copy of its
// payload, the time it arrived and the thread it arrived on. Optional hooks run inside
// the procedures, so tests can take results or call service operations from a handler
// as a real host would.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
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
    // Copies of the payload as it was when the message arrived.
    CSearchResultSet results;
    CFolderSavedList folders;
    CFolderStatsMap stats;
};

class HostStandIn {
public:
    using Clock = std::chrono::steady_clock;

    HostStandIn() {
        folder = CreateHostWindow(Proc());
        stats = CreateHostWindow(Proc());
        result = CreateHostWindow(Proc());
    }
    ~HostStandIn() {
        DestroyWindow(folder);
        DestroyWindow(stats);
        DestroyWindow(result);
    }
    HostStandIn(const HostStandIn&) = delete;
    HostStandIn& operator=(const HostStandIn&) = delete;

    HWND folder = nullptr, stats = nullptr, result = nullptr;

    // Runs inside the results message with the live set (after it was recorded); the
    // hook may take entries out of it.
    std::function<void(CSearchResultSet&)> onResults;
    // Runs inside every message, after it was recorded.
    std::function<void(const HostMessage&)> onMessage;

    std::vector<HostMessage> Messages() {
        std::lock_guard<std::mutex> g(m_lock);
        return m_messages;
    }
    std::vector<UINT> Codes() {
        std::lock_guard<std::mutex> g(m_lock);
        std::vector<UINT> codes;
        for (const auto& m : m_messages)
            codes.push_back(m.msg);
        return codes;
    }
    size_t Count(UINT msg) {
        std::lock_guard<std::mutex> g(m_lock);
        size_t n = 0;
        for (const auto& m : m_messages)
            n += m.msg == msg;
        return n;
    }
    void Clear() {
        std::lock_guard<std::mutex> g(m_lock);
        m_messages.clear();
    }
    // Waits until at least `n` messages `msg` arrived; false after `seconds`.
    bool WaitFor(UINT msg, size_t n = 1, double seconds = 60) {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::duration<double>(seconds), [&] {
            size_t k = 0;
            for (const auto& m : m_messages)
                k += m.msg == msg;
            return k >= n;
        });
    }

private:
    WindowProc Proc() {
        return [this](HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
            HostMessage m;
            m.hWnd = hWnd;
            m.msg = msg;
            m.wParam = wParam;
            m.lParam = lParam;
            m.at = Clock::now();
            m.thread = std::this_thread::get_id();
            if (msg == WM_PD_SEARCH_RESULTS)
                m.results = *reinterpret_cast<CSearchResultSet*>(wParam);
            else if (msg == WM_PD_FOLDERS_SAVED)
                m.folders = *reinterpret_cast<CFolderSavedList*>(wParam);
            else if (msg == WM_PD_FOLDER_STATS)
                m.stats = *reinterpret_cast<CFolderStatsMap*>(wParam);
            {
                std::lock_guard<std::mutex> g(m_lock);
                m_messages.push_back(m);
            }
            if (msg == WM_PD_SEARCH_RESULTS && onResults)
                onResults(*reinterpret_cast<CSearchResultSet*>(wParam));
            if (onMessage) onMessage(m);
            m_changed.notify_all();
            return 0;
        };
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<HostMessage> m_messages;
};

}  // namespace testutil
