// CDbFacade: the refreshes and rebuilds after a scan, the clean-ups, and the deletes
// and moves of files and folders.
//
// The run's start time "BackSearchStartTime" is used in two forms: as the stored text
// T (a string literal, compared with the stored times as text) and as a time t parsed
// from it (a time literal). Rows whose search time is earlier were not seen in the run.
#include <map>
#include <vector>

#include "db/db_facade.h"
#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "db/text_codec.h"

namespace {

constexpr wchar_t kRefreshDefaultStart[] = L"1971-01-01 08:00:00";
constexpr wchar_t kRebuildDefaultStart[] = L"1970-02-01 00:00:00";

std::string TimeLiteralOf(const CString& text) {
    return SqlTime(ParseTimeText(WideToUtf8(text).c_str()));
}

std::string RecountStatement(const CString& start, bool oneFolder, int pathID) {
    std::string literal = SqlText(start);
    std::string sql = sqltext::kPathRecountHead;
    sql += literal;
    sql += sqltext::kPathRecountSizeMid;
    sql += literal;
    if (oneFolder) {
        sql += sqltext::kPathRecountFolderTail;
        sql += SqlInt(pathID);
        sql += ";";
    } else {
        sql += sqltext::kPathRecountAllTail;
    }
    return sql;
}

}  // namespace

// ---------------------------------------------------------------- analysis and refresh

bool CDbFacade::GetFolderToAnalyse(CString& folder, std::set<CString>& names) {
    if (!CanRun()) return false;
    CString start;
    GetRunStart(start, kRefreshDefaultStart);
    std::string startLiteral = SqlText(start);
    std::string sql = sqltext::kFileToAnalyseHead;
    sql += startLiteral;
    sql += sqltext::kFileToAnalyseTail;
    int pathID = 0;
    CString found;
    {
        CSingleLock lock(&m_db.GetLock(), TRUE);
        CppSQLite3Query q = m_db.Query(sql.c_str());
        if (q.IsEnd()) return false;
        pathID = q.GetInt("iPathID", 0);
        if (pathID <= 0) return false;
        found = ReadText(q, "strFullPath");
    }
    folder = found;
    sql = sqltext::kFileNamesToAnalyseHead;
    sql += startLiteral;
    sql += sqltext::kFileNamesToAnalyseMid;
    sql += SqlInt(pathID);
    CSingleLock lock(&m_db.GetLock(), TRUE);
    CppSQLite3Query q = m_db.Query(sql.c_str());
    for (; !q.IsEnd(); q.Next())
        names.insert(ReadText(q, "strFileName"));
    return true;
}

bool CDbFacade::RefreshFolder(int pathID, int& removed) {
    if (!CanRun()) return false;
    CString start;
    if (GetRunStart(start, kRefreshDefaultStart)) {
        std::string sql = sqltext::kFileDeleteOldFolderHead;
        sql += SqlInt(pathID);
        sql += sqltext::kFileDeleteOldTimeMid;
        sql += TimeLiteralOf(start);
        sql += " ;";
        removed = m_db.Execute(sql.c_str());
    }
    m_db.Execute(RecountStatement(start, true, pathID).c_str());
    return true;
}

bool CDbFacade::RefreshAll() {
    if (!CanRun()) return false;
    CString start;
    if (GetRunStart(start, kRefreshDefaultStart)) {
        std::string sql = sqltext::kFileDeleteOldHead;
        sql += TimeLiteralOf(start);
        sql += " ;";
        m_db.Execute(sql.c_str());
    }
    m_db.Execute(RecountStatement(start, false, 0).c_str());
    return true;
}

bool CDbFacade::RebuildFolderMonths(int pathID) {
    if (!CanRun()) return false;
    CString start;
    GetRunStart(start, kRebuildDefaultStart);
    std::string sql = sqltext::kMonthRebuildFolderHead;
    sql += SqlInt(pathID);
    sql += sqltext::kMonthRebuildFolderTimeMid;
    sql += SqlText(start);
    sql += sqltext::kMonthRebuildTail;
    m_db.Execute(sql.c_str());
    // Month rows are about to be deleted: forget the ones the counters know to exist.
    m_timePathDao.ClearCache();
    sql = sqltext::kMonthDeleteOldFolderHead;
    sql += SqlInt(pathID);
    sql += sqltext::kMonthDeleteOldFolderTimeMid;
    sql += TimeLiteralOf(start);
    sql += " ;";
    m_db.Execute(sql.c_str());
    return true;
}

bool CDbFacade::RebuildAllMonths() {
    if (!CanRun()) return false;
    CString start;
    GetRunStart(start, kRebuildDefaultStart);
    std::string sql = sqltext::kMonthRebuildAllHead;
    sql += SqlText(start);
    sql += sqltext::kMonthRebuildTail;
    m_db.Execute(sql.c_str());
    m_timePathDao.ClearCache();
    sql = sqltext::kMonthDeleteOldHead;
    sql += TimeLiteralOf(start);
    sql += " ;";
    m_db.Execute(sql.c_str());
    return true;
}

bool CDbFacade::CleanupStale() {
    if (!CanRun()) return false;
    CString start;
    if (!GetRunStart(start, L"")) return false;
    std::string t = TimeLiteralOf(start);
    CScopedTransaction txn(&m_db);
    m_db.Execute((sqltext::kPathZeroStaleHead + t + " ;").c_str());
    m_db.Execute((sqltext::kIptcDeleteStaleHead + t + sqltext::kStaleDeleteMetaTail).c_str());
    m_db.Execute((sqltext::kExifDeleteStaleHead + t + sqltext::kStaleDeleteMetaTail).c_str());
    m_db.Execute((sqltext::kGpsDeleteStaleHead + t + sqltext::kStaleDeleteMetaTail).c_str());
    m_db.Execute((sqltext::kFileDeleteOldHead + t + " ;").c_str());
    m_timePathDao.ClearCache();
    m_db.Execute((sqltext::kMonthDeleteOldHead + t + sqltext::kMonthDeleteStaleTail).c_str());
    m_pathDao.ClearCache();
    return true;
}

bool CDbFacade::PruneEmptyFolders() {
    if (!CanRun()) return false;
    std::map<int, int> empty, nonEmpty;  // folder id -> parent id
    {
        CSingleLock lock(&m_db.GetLock(), TRUE);
        CppSQLite3Query q = m_db.Query(sqltext::kPathSelectParents);
        for (; !q.IsEnd(); q.Next()) {
            int id = q.GetInt("iPathID", 0);
            int parent = q.GetInt("iParentID", 0);
            if (q.GetInt("iPicCount", 0) < 1)
                empty[id] = parent;
            else
                nonEmpty[id] = parent;
        }
    }
    for (const auto& [id, firstParent] : nonEmpty) {
        int parent = firstParent;
        for (auto it = empty.find(parent); it != empty.end(); it = empty.find(parent)) {
            parent = it->second;
            empty.erase(it);
        }
    }
    m_pathDao.ClearCache();
    CScopedTransaction txn(&m_db);
    for (const auto& entry : empty) {
        std::string sql = sqltext::kPathDeleteByIdHead;
        sql += SqlInt(entry.first);
        sql += ";";
        m_db.Execute(sql.c_str());
    }
    return true;
}

// ---------------------------------------------------------------- files and folders

bool CDbFacade::DeleteFolderTree(const CString& folder) {
    // An empty folder would match every row ("%"): refused rather than emptying the index.
    if (!CanRun() || folder.empty()) return false;
    m_pathDao.ClearCache();
    m_timePathDao.ClearCache();
    std::string escaped = SqlEscape(folder);
    CScopedTransaction txn(&m_db);
    const std::pair<const char*, const char*> statements[] = {
        {sqltext::kIptcDeleteTreeHead, sqltext::kTreeDeleteMetaTail},
        {sqltext::kExifDeleteTreeHead, sqltext::kTreeDeleteMetaTail},
        {sqltext::kGpsDeleteTreeHead, sqltext::kTreeDeleteMetaTail},
        {sqltext::kFileDeleteTreeHead, sqltext::kTreeDeleteRowsTail},
        {sqltext::kMonthDeleteTreeHead, sqltext::kTreeDeleteRowsTail},
        {sqltext::kPathDeleteTreeHead, sqltext::kPathDeleteTreeTail},
    };
    for (const auto& [head, tail] : statements)
        m_db.Execute((head + escaped + tail).c_str());
    return true;
}

bool CDbFacade::DeleteFile(const CString& fullPath, bool updateCounts) {
    if (!CanRun()) return false;
    CScopedTransaction txn(&m_db);
    _tagFileInfo file;
    file.iPathID = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(fullPath), false);
    file.strFileName = CCommonFunc::GetTitle(fullPath);
    if (!m_fileDao.GetByName(file)) return false;
    if (!m_fileDao.Delete(file.iFileID)) return false;
    if (file.iGpsID != 0) m_gpsDao.Delete(file.iGpsID);
    if (file.iExifID != 0) m_exifDao.Delete(file.iExifID);
    if (file.iIptcID != 0) m_iptcDao.Delete(file.iIptcID);
    if (updateCounts) {
        UpdateCounts(static_cast<int>(file.iFileSize), 0, file.iPathID, 0, CTime(), file.tSnapTime);
    }
    return true;
}

bool CDbFacade::MarkFileChanged(const CString& fullPath) {
    if (!CanRun()) return false;
    int pathID = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(fullPath), false);
    std::string sql = sqltext::kFileMarkChangedHead;
    sql += SqlInt(pathID);
    sql += sqltext::kFileNameMid;
    sql += SqlEscape(CCommonFunc::GetTitle(fullPath));
    sql += sqltext::kFileNameTail;
    m_db.Execute(sql.c_str());
    return true;
}

bool CDbFacade::MoveFile(const CString& oldPath, const CString& newPath) {
    if (!CanRun()) return false;
    int oldFolder = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(oldPath), false);
    int newFolder = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(newPath), false);
    CString oldName = CCommonFunc::GetTitle(oldPath);
    CString newName = CCommonFunc::GetTitle(newPath);
    _tagFileInfo file;
    file.iPathID = oldFolder;
    file.strFileName = oldName;
    if (!m_fileDao.GetByName(file)) return false;
    CScopedTransaction txn(&m_db);
    if (oldName != newName) {
        std::string sql = sqltext::kFileRenameHead;
        sql += SqlEscape(newName);
        sql += sqltext::kFileRenamePathMid;
        sql += SqlInt(oldFolder);
        sql += sqltext::kFileNameMid;
        sql += SqlEscape(oldName);
        sql += sqltext::kFileNameTail;
        m_db.Execute(sql.c_str());
    }
    if (oldFolder != newFolder) {
        std::string sql = sqltext::kFileMoveHead;
        sql += SqlInt(newFolder);
        sql += sqltext::kFileMovePathMid;
        sql += SqlInt(oldFolder);
        sql += sqltext::kFileNameMid;
        sql += SqlEscape(newName);
        sql += sqltext::kFileNameTail;
        m_db.Execute(sql.c_str());
        int size = static_cast<int>(file.iFileSize);
        UpdateCounts(size, newFolder, oldFolder, size, file.tSnapTime, file.tSnapTime);
    }
    return true;
}

bool CDbFacade::MoveFolder(const CString& oldPath, const CString& newPath) {
    if (!CanRun()) return false;
    int oldParent = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(oldPath), false);
    int newParent = m_pathDao.GetPathID(CCommonFunc::GetParentFolder(newPath), false);
    CString oldName = CCommonFunc::GetTitle(oldPath);
    CString newName = CCommonFunc::GetTitle(newPath);
    m_pathDao.ClearCache();
    CScopedTransaction txn(&m_db);
    if (oldName != newName) {
        std::string sql = sqltext::kPathRenameHead;
        sql += SqlEscape(newName);
        sql += sqltext::kPathRenameParentMid;
        sql += SqlInt(oldParent);
        sql += sqltext::kPathNameMid;
        sql += SqlEscape(oldName);
        sql += sqltext::kPathNameTail;
        m_db.Execute(sql.c_str());
    }
    if (oldParent != newParent) {
        std::string sql = sqltext::kPathMoveHead;
        sql += SqlInt(newParent);
        sql += sqltext::kPathMoveParentMid;
        sql += SqlInt(oldParent);
        sql += sqltext::kPathNameMid;
        sql += SqlEscape(newName);
        sql += sqltext::kPathNameTail;
        m_db.Execute(sql.c_str());
    }
    return ReplacePathPrefix(oldPath, newPath);
}

bool CDbFacade::ReplacePathPrefix(const CString& oldPrefix, const CString& newPrefix) {
    // An empty prefix would match every folder: refused.
    if (!CanRun() || oldPrefix.empty()) return false;
    // A wide character is one character here, as SQLite's substr counts them.
    int firstAfterPrefix = static_cast<int>(oldPrefix.size()) + 1;
    std::string sql = sqltext::kPathPrefixHead;
    sql += SqlEscape(newPrefix);
    sql += sqltext::kPathPrefixCutMid;
    sql += SqlInt(firstAfterPrefix);
    sql += sqltext::kPathPrefixLikeMid;
    sql += SqlEscape(oldPrefix);
    sql += sqltext::kPathPrefixTail;
    m_db.Execute(sql.c_str());
    m_pathDao.ClearCache();
    return true;
}
