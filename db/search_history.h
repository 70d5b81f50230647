// CSearchHistory: the search texts the host has used and how often, mirrored from
// tb_search_history. Keys are ordered case-sensitively; prefix lookups compare
// without regard to ASCII case.
//
// Threads: any. The history's lock is never held while a statement runs.
// Failures: false without an open manager; statement failures are thrown.
#pragma once

#include <map>

#include "db/db_mng.h"
#include "picdex/sync.h"

class CSearchHistory {
public:
    void SetDbMng(CDBMng* db) { m_pDB = db; }

    // Replaces the in-memory history with the table's rows.
    bool LoadSearchHistory();
    // Up to maxCount (key, times) pairs, in key order from the first key not ordered
    // before `prefix`, for as long as the keys start with `prefix` (any ASCII case).
    bool GetSearchHistory(const CString& prefix, std::map<CString, int>& out, int maxCount);
    // Deletes every row and empties the history.
    bool ClearSearchHistory();
    // Counts one more use of `key` and stores the new count.
    bool AddSearch(const CString& key);

private:
    bool CanRun() const { return m_pDB && m_pDB->IsOpen(); }

    std::map<CString, int> m_map;
    CCriticalSection m_cs;
    CDBMng* m_pDB = nullptr;
};
