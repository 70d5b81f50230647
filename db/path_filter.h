// CPathFilter: the folder filters that decide which folders the scanner may walk.
// A folder is excluded (type 1) or included (type -1); a filter applies to its folder
// and everything below it, and a deeper filter overrides a shallower one.
//
// The filters are stored in tb_path_filter and mirrored in a folder-name tree (for
// lookups, without regard to ASCII case) and in one set per type (for listing, exact
// texts). The fixed excluded folders (System Volume Information of every fixed drive)
// are added to the tree and the excluded set at load time and never written to the
// table; removing one takes it out of the tree and the set until the next load.
//
// Threads: any. The tree has one lock and the two sets another; no operation holds
// both, and neither is held while a statement runs (statements come first).
// Failures: false without an open manager; statement failures are thrown.
#pragma once

#include <set>

#include "db/db_mng.h"
#include "db/path_node.h"
#include "picdex/sync.h"

class CPathFilter {
public:
    static constexpr int kExcluded = 1;
    static constexpr int kIncluded = -1;

    void SetDbMng(CDBMng* db) { m_pDB = db; }

    // Replaces the tree and the sets with the rows of tb_path_filter, then adds the
    // fixed folders.
    bool LoadFilters();
    // 1 excluded, -1 included, 0 no filter on the path.
    int GetFilterType(const CString& path);
    // Whether an included folder lies at or below the path.
    bool HasIncludedBelow(const CString& path);
    // Removes every excluded folder from `folders`.
    void RemoveExcluded(std::set<CString>& folders);

    bool AddExcludedFilter(const CString& path) { return AddFilter(path, kExcluded); }
    bool AddIncludedFilter(const CString& path) { return AddFilter(path, kIncluded); }
    bool RemoveExcludedFilter(const CString& path) { return RemoveFilter(path, kExcluded); }
    bool RemoveIncludedFilter(const CString& path) { return RemoveFilter(path, kIncluded); }
    void GetExcludedFilters(std::set<CString>& out);
    void GetIncludedFilters(std::set<CString>& out);
    // Walks the type's set and `wanted` together in set order, adding each path only
    // `wanted` holds and removing each path only the set holds, in one transaction.
    bool SetExcludedFilters(const std::set<CString>& wanted) {
        return SetFilters(wanted, kExcluded);
    }
    bool SetIncludedFilters(const std::set<CString>& wanted) {
        return SetFilters(wanted, kIncluded);
    }

private:
    bool CanRun() const { return m_pDB && m_pDB->IsOpen(); }
    std::set<CString>& SetOf(int type) { return type == kExcluded ? m_setExcluded : m_setIncluded; }
    bool AddFilter(const CString& path, int type);
    bool RemoveFilter(const CString& path, int type);
    bool SetFilters(const std::set<CString>& wanted, int type);

    CPathNode m_root;
    CCriticalSection m_csTree;
    std::set<CString> m_setExcluded;
    std::set<CString> m_setIncluded;
    CCriticalSection m_csSets;
    CDBMng* m_pDB = nullptr;
};
