// CTimePathDao: the mapper of tb_time_path_info rows, the per-folder, per-month picture
// counters, with a cache of up to 200 (folder, month) rows known to exist.
//
// Months are the first second of a month in local time. Pictures without a usable
// capture time (before February 1970) are never counted.
// Threads: any; the month cache has its own lock, taken only around cache reads and
// writes (never while a statement runs). Failures: false without an open manager or
// for an unusable folder id or time; statement failures are thrown.
#pragma once

#include <utility>

#include "db/bounded_cache.h"
#include "db/obj_dao.h"

class CTimePathDao : public obj_dao<_tagTimePath> {
public:
    static constexpr std::size_t kCacheCapacity = 200;
    // Snap times below this (31 days after 1970-01-01 00:00:00 UTC) are not counted.
    static constexpr std::int64_t kFirstCountedTime = 2678400;

    CTimePathDao() : m_cache(kCacheCapacity) {}

    // The first second of t's month, local time.
    static CTime MonthStart(CTime t);
    // Adds count and size to the folder's row for the month of snapTime, creating the
    // row when it does not exist.
    bool AddPicture(int pathID, int count, int size, CTime snapTime);
    // Whether the folder has a row for that month (the cache first, then the table).
    bool Exists(int pathID, CTime month);
    // Forgets every cached month (after statements that delete month rows).
    void ClearCache() { m_cache.Clear(); }

private:
    using Key = std::pair<int, std::int64_t>;
    CBoundedCache<Key, _tagTimePath> m_cache;
};
