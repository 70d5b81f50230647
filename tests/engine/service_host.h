// A stand-in for a host application, and a service object of its own on a new index
// file in a temporary folder (drive C:, so that a scan stays inside it) with the host's
// windows set. The three windows (folders, statistics, results) record every message
// with a copy of its payload and the time and thread it arrived on. A hook runs inside
// the procedures on a thread of its own, as a host's window thread would, while the
// sender waits for it; a hook still blocked after 20 s counts as a deadlock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "common/drive_table.h"
#include "common/photo_index.h"
#include "engine/search_engine.h"
#include "picdex/host_messages.h"
#include "picdex/window.h"

namespace testutil {

using Clock = std::chrono::steady_clock;

struct HostMessage {
    HWND hWnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    Clock::time_point at;
    std::thread::id thread;
    CSearchResultSet results{};
    CFolderSavedList folders{};
    CFolderStatsMap stats{};
};

class HostStandIn {
public:
    HostStandIn() : folder(Make()), stats(Make()), result(Make()) {}
    ~HostStandIn() {
        // The hooks still running are waited for as their futures go.
        for (HWND w : {folder, stats, result})
            DestroyWindow(w);
    }
    HWND folder, stats, result;
    // Runs inside every message; `set` is the live result set of the results message
    // (the hook may take entries out of it), otherwise null.
    std::function<void(const HostMessage&, CSearchResultSet* set)> onMessage;
    std::atomic<bool> blocked{false};

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
    // Waits until at least `n` messages `msg` arrived; false after two minutes.
    bool WaitFor(UINT msg, std::ptrdiff_t n = 1) {
        return WaitUntil([&] { return std::ranges::count(Codes(), msg) >= n; }, 120);
    }

private:
    HWND Make() {
        return CreateHostWindow([this](HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            HostMessage m{hWnd, msg, wParam, lParam, Clock::now(), std::this_thread::get_id()};
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
                blocked = blocked || m_hooks.back().wait_for(std::chrono::seconds(20)) !=
                                         std::future_status::ready;
            }
            return LRESULT(0);
        });
    }

    std::mutex m_lock;
    std::vector<HostMessage> m_messages;
    std::vector<std::future<void>> m_hooks;
};

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
        m_opened = Clock::now();
        SetWindows(m_host.folder, m_host.stats, m_host.result);
    }

    CString DbPath() const { return Utf8ToWide(m_dir / "index.db"); }
    void SetWindows(HWND folder, HWND stats, HWND result) {
        m_engine.SetFolderNotifyWnd(folder);
        m_engine.SetStatsNotifyWnd(stats);
        m_engine.SetResultNotifyWnd(result);
    }
    // Finish reports (kind, text) written through a real save queue, as the scanner's
    // save thread writes them.
    void Report(std::initializer_list<std::pair<int, const wchar_t*>> reports) {
        CSaveQueue queue(&m_engine.Db());
        for (const auto& [kind, text] : reports)
            queue.QueueFinishReport(kind, text);
        queue.Drain(nullptr);
    }

    // Holds the notifier parked while pending state is recorded; the first results
    // message may go 200 ms after the index was opened.
    void Hold() { ASSERT_EQ(1, m_engine.Pause(TRUE)); }
    void Release() {
        std::this_thread::sleep_until(m_opened + std::chrono::milliseconds(250));
        ASSERT_EQ(1, m_engine.Resume());
    }
    // Search results delivered as the search worker delivers them.
    void Record(std::initializer_list<const wchar_t*> paths) {
        CSearchResultMap map;
        for (const wchar_t* p : paths)
            map[p] = {1, CTime()};
        m_engine.RecordResults(map);
    }

    TempDir m_dir;
    ScopedDriveTable m_drives{"C=" + m_dir.path()};
    Clock::time_point m_opened;
    HostStandIn m_host;
    CSearchEngine m_engine;
};

}  // namespace testutil
