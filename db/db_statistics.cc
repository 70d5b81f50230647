// CDbFacade: the statistics and lookups the host's calendar, folder and duplicate
// views ask for. Each is one query read on the caller's thread under the manager's
// lock (the lock is recursive, and it is held while the rows are read so that no other
// thread's statement runs on the connection in between).
#include <climits>
#include <stdexcept>

#include "db/db_facade.h"
#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/sql_stat_texts.h"
#include "db/sql_texts.h"
#include "db/text_codec.h"
#include "engine/db_search.h"

namespace {

// A folder with its trailing backslash; an empty folder stays empty.
CString WithBackslash(CString folder) {
    CCommonFunc::CheckFolderName(folder);
    return folder;
}

// " strFullPath >= P AND strFullPath < U" for the subtree of `folder`. An empty folder
// has the bounds "\" and "]", which no drive-letter path lies between.
std::string SubtreeRange(const CString& folder) {
    CString lower = folder;
    if (lower.empty() || lower.back() != L'\\') lower += L'\\';
    CString upper = lower.substr(0, lower.size() - 1) + L"]";
    std::string sql = sqltext::kStatSubtreeHead;
    sql += SqlText(lower);
    sql += sqltext::kStatSubtreeMid;
    sql += SqlText(upper);
    return sql;
}

// A count column of the first row (0 without a row or for NULL), narrowed to 32 bits.
int FirstRowCount(CDBMng& db, const std::string& sql, const char* column) {
    CSingleLock lock(&db.GetLock(), TRUE);
    CppSQLite3Query q = db.Query(sql.c_str());
    if (q.IsEnd()) return 0;
    return static_cast<int>(ReadInt64(q, column));
}

// Every row's strFullPathName (NULL reads as "") into `out`.
void ReadFullPaths(CDBMng& db, const std::string& sql, std::set<CString>& out) {
    CSingleLock lock(&db.GetLock(), TRUE);
    for (CppSQLite3Query q = db.Query(sql.c_str()); !q.IsEnd(); q.Next())
        out.insert(ReadText(q, "strFullPathName"));
}

// Every row as a month row with its folder's path, appended to `out`.
void ReadMonthRows(CDBMng& db, const std::string& sql, std::list<_tagTimePath>& out) {
    CSingleLock lock(&db.GetLock(), TRUE);
    for (CppSQLite3Query q = db.Query(sql.c_str()); !q.IsEnd(); q.Next()) {
        _tagTimePath month;
        ReadRow(q, month);
        month.strFullPath = ReadText(q, "strFullPath");
        out.push_back(std::move(month));
    }
}

// A calendar total's time column as a local calendar time (a NULL or a text that is not
// a date reads as time 0).
CTime::Fields CalendarOf(const CppSQLite3Query& q, const char* column) {
    return ReadTime(q, column).GetLocalFields();
}

void CheckCalendar(int year, int month) {
    if (year < 1900) throw std::invalid_argument("year below 1900");
    if (month < 1 || month > 12) throw std::invalid_argument("month outside 1 to 12");
}

}  // namespace

// ---------------------------------------------------------------- calendar values

CTime CDbFacade::MonthFirstSecond(int year, int month) {
    CheckCalendar(year, month);
    CTime first(year, month, 1, 0, 0, 0);
    // mktime's "cannot represent" answer; no first second of a month is one second
    // before the epoch in any real time zone.
    if (first.GetTime() == -1) throw std::invalid_argument("date out of the calendar's range");
    return first;
}

CTime CDbFacade::MonthLastSecond(int year, int month) {
    CheckCalendar(year, month);
    if (month == 12 && year == INT_MAX) throw std::invalid_argument("year out of range");
    CTime next = month == 12 ? CTime(year + 1, 1, 1, 0, 0, 0) : CTime(year, month + 1, 1, 0, 0, 0);
    if (next.GetTime() == -1) throw std::invalid_argument("date out of the calendar's range");
    return next - 1;
}

// ---------------------------------------------------------------- counts

int CDbFacade::GetFolderPicCount(const CString& folder) {
    std::string sql = sqltext::kStatFolderCountHead;
    sql += SqlText(WithBackslash(folder));
    sql += ";";
    return FirstRowCount(m_db, sql, "iPicCount");
}

int CDbFacade::GetTreePicCount(const CString& folder) {
    std::string sql = sqltext::kStatTreeCountHead;
    sql += SubtreeRange(folder);
    sql += sqltext::kStatTreeCountTail;
    return FirstRowCount(m_db, sql, "iPicCountR");
}

int CDbFacade::GetYearPicCount(int year) {
    std::string sql = sqltext::kStatYearCountHead;
    sql += SqlTime(MonthFirstSecond(year, 1));
    sql += ";";
    return FirstRowCount(m_db, sql, "iPicCountTR");
}

int CDbFacade::GetMonthPicCount(int year, int month) {
    std::string sql = sqltext::kStatMonthCountHead;
    sql += SqlTime(MonthFirstSecond(year, month));
    sql += ";";
    return FirstRowCount(m_db, sql, "iPicCountTR");
}

// ---------------------------------------------------------------- calendar totals

int CDbFacade::GetYearTotals(std::map<int, int>& out) {
    CSingleLock lock(&m_db.GetLock(), TRUE);
    for (CppSQLite3Query q = m_db.Query(sqltext::kStatYearTotals); !q.IsEnd(); q.Next())
        out[CalendarOf(q, "tPathPicTimeY").year] = static_cast<int>(ReadInt64(q, "iPicCountTR"));
    return 1;
}

int CDbFacade::GetMonthTotalsOfYear(int year, std::map<int, int>& out) {
    std::string sql = sqltext::kStatMonthTotalsHead;
    sql += SqlTime(MonthFirstSecond(year, 1));
    sql += sqltext::kStatMonthTotalsTail;
    CSingleLock lock(&m_db.GetLock(), TRUE);
    for (CppSQLite3Query q = m_db.Query(sql.c_str()); !q.IsEnd(); q.Next())
        out[CalendarOf(q, "tPathPicTimeYM").month] = static_cast<int>(ReadInt64(q, "iPicCountTR"));
    return 1;
}

// ---------------------------------------------------------------- month rows

int CDbFacade::GetMonthFolders(CTime from, CTime to, std::list<_tagTimePath>& out) {
    std::string sql = sqltext::kStatMonthFoldersHead;
    sql += SqlTime(from);
    sql += sqltext::kStatMonthFoldersMid;
    sql += SqlTime(to);
    sql += ";";
    ReadMonthRows(m_db, sql, out);
    return 1;
}

int CDbFacade::GetAllMonthFolders(std::list<_tagTimePath>& out) {
    ReadMonthRows(m_db, sqltext::kStatAllMonthFolders, out);
    return 1;
}

int CDbFacade::GetMonthFoldersOfFolder(const CString& folder, std::list<_tagTimePath>& out) {
    std::string sql = sqltext::kMonthRowsOfFolderHead;
    sql += SqlText(folder);
    sql += ";";
    ReadMonthRows(m_db, sql, out);
    return 1;
}

// ---------------------------------------------------------------- folders

int CDbFacade::GetFolders(const CString& folder, int bRecursive, std::list<_tagPathInfo>& out) {
    std::string sql = sqltext::kStatFoldersHead;
    if (!folder.empty() && bRecursive) {
        sql += sqltext::kStatFoldersBelowHead;
        sql += SqlEscape(folder);
        sql += sqltext::kStatFoldersBelowTail;
    } else if (!folder.empty()) {
        // The folder's id comes from the path lookup, which answers 0 on a closed
        // database; a closed database must still throw here as it does everywhere else.
        if (!m_db.IsOpen()) throw CppSQLite3Exception(CPPSQLITE_ERROR, "Database not open");
        int pathID = m_pathDao.GetPathID(folder, false);
        if (pathID <= 0) return 0;
        sql += sqltext::kStatFoldersChildrenHead;
        sql += SqlInt(pathID);
    } else if (!bRecursive) {
        sql += sqltext::kStatFoldersTop;
    }
    CSingleLock lock(&m_db.GetLock(), TRUE);
    for (CppSQLite3Query q = m_db.Query(sql.c_str()); !q.IsEnd(); q.Next()) {
        _tagPathInfo path;
        ReadRow(q, path);
        out.push_back(std::move(path));
    }
    return 1;
}

// ---------------------------------------------------------------- files

int CDbFacade::GetFilesBySnapTime(const CString& folder, int bRecursive, CTime from, CTime to,
                                  std::set<CString>& out) {
    std::string sql = sqltext::kStatFilesHead;
    sql += sqltext::kStatSnapFromHead;
    sql += SqlTime(from);
    sql += sqltext::kStatSnapToMid;
    sql += SqlTime(to);
    if (bRecursive && !folder.empty()) {
        sql += sqltext::kStatAnd;
        sql += SubtreeRange(folder);
    } else if (!bRecursive) {
        // An empty folder stays empty, so only files without a folder path would match.
        sql += sqltext::kStatFolderIs;
        sql += SqlText(WithBackslash(folder));
    }
    sql += ";";
    ReadFullPaths(m_db, sql, out);
    return 1;
}

int CDbFacade::GetFolderFiles(const CString& folder, int bRecursive, std::set<CString>& out) {
    std::string sql = sqltext::kStatFilesHead;
    if (bRecursive) {
        sql += SubtreeRange(folder);
    } else {
        sql += sqltext::kStatFolderOnly;
        sql += SqlText(WithBackslash(folder));
    }
    sql += ";";
    ReadFullPaths(m_db, sql, out);
    return 1;
}

int CDbFacade::GetFilesByMD5(const CString& md5, std::set<CString>& out) {
    std::string sql = sqltext::kStatFilesHead;
    sql += sqltext::kStatMd5Head;
    sql += SqlText(md5);
    sql += ";";
    ReadFullPaths(m_db, sql, out);
    return 1;
}

int CDbFacade::GetDuplicateFiles(std::map<CString, std::set<CString>>& out) {
    std::set<CString> digests;
    {
        CSingleLock lock(&m_db.GetLock(), TRUE);
        for (CppSQLite3Query q = m_db.Query(sqltext::kStatDuplicateDigests); !q.IsEnd(); q.Next())
            digests.insert(ReadText(q, "strMD5"));
    }
    for (const CString& md5 : digests)
        GetFilesByMD5(md5, out[md5]);
    return 1;
}

// ---------------------------------------------------------------- quick-search count

int CDbFacade::CountQuickSearch(const _tagQuickSearch& request) {
    std::string tail = CDbSearch::BuildQuickSql(request);
    if (tail.empty()) return 0;
    std::string sql = sqltext::kStatCountHead;
    sql += tail;
    return m_db.QueryScalar(sql.c_str());
}
