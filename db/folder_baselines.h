// CFolderBaselines: for each folder whose analysis is under way, the negated per-month
// figures that tb_time_path_info held for it when its analysis began. When the folder
// finishes, its current figures are added, giving the changes to report.
//
// One per database layer object (hence one per process). Threads: any; callers hold
// GetLock() around a check-and-store or take-and-report sequence (the lock is
// recursive). The manager's lock may be taken while it is held, never the reverse.
#pragma once

#include <map>

#include "db/report_sink.h"
#include "picdex/sync.h"

class CFolderBaselines {
public:
    CCriticalSection& GetLock() { return m_cs; }

    bool Has(const CString& folder);
    void Store(const CString& folder, const CMonthChangeMap& negated);
    // Removes and returns the folder's entry (empty when it has none).
    CMonthChangeMap Take(const CString& folder);
    void Clear();
    size_t Size();

private:
    CCriticalSection m_cs;
    std::map<CString, CMonthChangeMap> m_map;
};
