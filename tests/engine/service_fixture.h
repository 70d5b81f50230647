// A service object of its own on a new index file in a temporary folder (drive C:, so
// that a scan stays inside it), with a host stand-in's windows set.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "common/drive_table.h"
#include "common/photo_index.h"
#include "common/temp_dir.h"
#include "db/save_queue.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_host.h"

namespace testutil {

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_drives = std::make_unique<ScopedDriveTable>("C=" + m_dir.path());
        ASSERT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
        SetWindows(m_host.folder, m_host.stats, m_host.result);
    }
    void TearDown() override { m_engine.Shutdown(); }

    CString DbPath() const { return Utf8ToWide(m_dir / "index.db"); }
    void SetWindows(HWND folder, HWND stats, HWND result) {
        m_engine.SetFolderNotifyWnd(folder);
        m_engine.SetStatsNotifyWnd(stats);
        m_engine.SetResultNotifyWnd(result);
    }
    // Writes finish reports (kind, text) through a real save queue, as the scanner's
    // save thread does.
    void Report(std::initializer_list<std::pair<int, const wchar_t*>> reports) {
        CSaveQueue queue(&m_engine.Db());
        for (const auto& [kind, text] : reports)
            queue.QueueFinishReport(kind, text);
        queue.Drain(nullptr);
    }
    template <typename Map>
    static std::vector<typename Map::key_type> Keys(const Map& map) {
        std::vector<typename Map::key_type> keys;
        for (const auto& entry : map)
            keys.push_back(entry.first);
        return keys;
    }

    TempDir m_dir;
    std::unique_ptr<ScopedDriveTable> m_drives;
    HostStandIn m_host;
    CSearchEngine m_engine;
};

}  // namespace testutil
