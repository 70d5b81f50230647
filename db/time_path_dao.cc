#include "db/time_path_dao.h"

CTime CTimePathDao::MonthStart(CTime t) {
    // Built from the local fields rather than by subtracting the elapsed days and
    // hours: across a change of daylight saving time within the month the subtraction
    // lands an hour off the month's first second (in the month before, for a change
    // that puts the clocks forward).
    CTime::Fields f = t.GetLocalFields();
    return CTime(f.year, f.month, 1, 0, 0, 0);
}

bool CTimePathDao::AddPicture(int pathID, int count, int size, CTime snapTime) {
    if (pathID <= 0 || snapTime.GetTime() < kFirstCountedTime || !CanRun()) return false;
    CTime month = MonthStart(snapTime);
    Key key(pathID, month.GetTime());
    _tagTimePath cached;
    bool exists = false;
    if (m_cache.Get(key, cached)) {
        cached.iPicCountT += count;
        cached.iPicSizeT += size;
        m_cache.Put(key, cached);
        exists = true;
    } else {
        exists = Exists(pathID, month);
    }
    if (exists) {
        std::string sql = sqltext::kMonthAddHead;
        sql += SqlInt(count);
        sql += sqltext::kMonthAddSizeMid;
        sql += SqlInt(size);
        sql += sqltext::kMonthAddPathMid;
        sql += SqlInt(pathID);
        sql += sqltext::kMonthAddTimeMid;
        sql += SqlTime(month);
        sql += ";";
        m_pDB->Execute(sql.c_str());
        return true;
    }
    _tagTimePath rec;
    rec.iPathID = pathID;
    rec.tPathPicTime = month;
    rec.iPicCountT = count;
    rec.iPicSizeT = size;
    if (!Insert(rec)) return false;
    m_cache.Put(key, rec);
    return true;
}

bool CTimePathDao::Exists(int pathID, CTime month) {
    if (!CanRun()) return false;
    if (m_cache.Contains(Key(pathID, month.GetTime()))) return true;
    std::string sql = sqltext::kMonthExistsHead;
    sql += SqlInt(pathID);
    sql += sqltext::kMonthExistsTimeMid;
    sql += SqlTime(month);
    sql += sqltext::kMonthExistsTail;
    CSingleLock lock(&m_pDB->GetLock(), TRUE);
    CppSQLite3Query q = m_pDB->Query(sql.c_str());
    return !q.IsEnd();
}
