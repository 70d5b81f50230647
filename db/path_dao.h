// CPathDao: the mapper of tb_path_info rows (folders), with the lookup of a folder's
// id by its full path, creating the missing rows along the path on request.
//
// Full paths end in a backslash (one is appended when missing); a drive root's row has
// parent 0. A cache of up to 100 paths (compared exactly) remembers ids; it must be
// emptied (ClearCache) before statements that delete or rename folder rows.
//
// Threads: any. Creating a missing folder holds the DAO's creation lock across the
// whole creation (the manager's lock is taken inside it per statement, never the
// other way round), so two threads asking for the same missing folder create it once.
// Failures: 0 / false without an open manager; statement failures are thrown.
#pragma once

#include "db/bounded_cache.h"
#include "db/obj_dao.h"
#include "picdex/sync.h"

class CPathDao : public obj_dao<_tagPathInfo> {
public:
    static constexpr std::size_t kCacheCapacity = 100;

    CPathDao() : m_cache(kCacheCapacity) {}

    // The folder's id; 0 for an empty path, or when the folder has no row and `create`
    // is false, or when creating it failed.
    int GetPathID(CString fullPath, bool create);
    // Writes a folder row; with `hasParent` and no parent id yet, finds or creates the
    // parent's row first (a parent id of 0 fails the call).
    bool InsertPath(_tagPathInfo& rec, bool hasParent);
    // The folder's row by full path, without the cache.
    bool GetByFullPath(CString fullPath, _tagPathInfo& rec);
    // Whether some folder row lies below the path ("_" and "%" in it act as wildcards).
    bool HasSubFolder(CString fullPath);
    // Adds to the folder's picture count and size (both may be negative).
    bool AddPictures(int pathID, int count, int size);
    void ClearCache() { m_cache.Clear(); }

    // The number of paths cached (for tests and diagnostics).
    std::size_t CacheSize() const { return m_cache.Size(); }

private:
    // The id from the table, cached when found; 0 when there is no row.
    int LookUp(const CString& fullPath);

    CCriticalSection m_csCreate;
    CBoundedCache<CString, int> m_cache;
};
