// CDbFacade: start-up and versioning, configuration values, the scan-task lists and
// the folder baselines.
#include "db/db_facade.h"

#include <cwchar>

#include "db/record_sql.h"
#include "db/schema.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "db/text_codec.h"

CDbFacade::CDbFacade() : m_configCache(kConfigCacheCapacity) {}

CDbFacade::~CDbFacade() {
    Close();
}

void CDbFacade::Close() {
    m_db.Close();
}

// ---------------------------------------------------------------- start-up

bool CDbFacade::Initialize(const CString& dbPath) {
    if (m_db.IsOpen()) return false;
    // Left to choose: an empty path would make SQLite open an anonymous temporary
    // database, which is never what the host means.
    if (dbPath.empty()) return false;
    // Whatever was cached belongs to a connection opened earlier.
    m_configCache.Clear();
    m_pathDao.ClearCache();
    m_timePathDao.ClearCache();
    m_baselines.Clear();

    std::string path = WideToAnsi(dbPath);
    if (m_db.Open(path.c_str()) != 0) return false;

    CString text = L"0";
    GetConfig(schema::kVersionKey, text);
    // A text that is not a number reads as version 0 (leading digits count).
    int version = static_cast<int>(std::wcstol(text.c_str(), nullptr, 10));
    if (version < 1) {
        for (const char* sql : schema::kCreateAll)
            m_db.Execute(sql);
        SetConfig(schema::kVersionKey, L"1");
        version = 1;
    }

    m_pathDao.SetDbMng(&m_db);
    m_fileDao.SetDbMng(&m_db);
    m_timePathDao.SetDbMng(&m_db);
    m_exifDao.SetDbMng(&m_db);
    m_iptcDao.SetDbMng(&m_db);
    m_gpsDao.SetDbMng(&m_db);
    m_pathFilter.SetDbMng(&m_db);
    m_searchHistory.SetDbMng(&m_db);
    m_pathFilter.LoadFilters();
    m_searchHistory.LoadSearchHistory();

    if (version < 2) {
        InstallDefaultFilters();
        SetConfig(schema::kVersionKey, L"2");
        version = 2;
    }
    if (version < schema::kCurrentVersion) CreateVersion3Indexes();
    return true;
}

void CDbFacade::InstallDefaultFilters() {
    CScopedTransaction txn(&m_db);
    std::set<CString> excluded;
    CCommonFunc::GetDefaultBlackList(excluded);
    for (const CString& folder : excluded) {
        if (DeleteFolderTree(folder)) AddExcludedFilter(folder);
    }
    std::set<CString> included;
    CCommonFunc::GetDefaultWhiteList(included);
    for (const CString& folder : included)
        AddIncludedFilter(folder);
}

void CDbFacade::CreateVersion3Indexes() {
    // Left to choose: the indexes only speed up searches, so a failing one does not stop
    // the start. The others are still created, and the version stays below 3 so that
    // the next start tries the missing ones again (each uses IF NOT EXISTS).
    bool allCreated = true;
    for (const char* sql : schema::kVersion3Indexes) {
        try {
            m_db.Execute(sql);
        } catch (const CppSQLite3Exception&) {
            allCreated = false;
        }
    }
    if (allCreated) SetConfig(schema::kVersionKey, std::to_wstring(schema::kCurrentVersion));
}

// ---------------------------------------------------------------- configuration

bool CDbFacade::GetConfig(const CString& key, CString& value) {
    if (!CanRun()) return false;
    if (m_configCache.Get(key, value)) return true;
    std::string sql = sqltext::kConfigSelectHead;
    sql += SqlText(key);
    sql += sqltext::kConfigSelectTail;
    CString found;
    {
        CSingleLock lock(&m_db.GetLock(), TRUE);
        CppSQLite3Query q = m_db.Query(sql.c_str());
        if (q.IsEnd()) return false;
        found = ReadText(q, "strCfgValue");
    }
    // The cache is filled after the query has finished, outside the manager's lock.
    m_configCache.Put(key, found);
    value = found;
    return true;
}

bool CDbFacade::SetConfig(const CString& key, const CString& value) {
    if (!CanRun()) return false;
    std::string sql = sqltext::kConfigReplaceHead;
    sql += SqlText(key);
    sql += ",";
    sql += SqlText(value);
    sql += ");";
    m_db.Execute(sql.c_str());
    m_configCache.Put(key, value);
    return true;
}

bool CDbFacade::GetRunStart(CString& text, const wchar_t* dflt) {
    text = dflt;
    return GetConfig(L"BackSearchStartTime", text);
}

// ---------------------------------------------------------------- scan-task lists

namespace {

bool ReadPathList(CDBMng& db, const char* sql, std::set<CString>& paths) {
    if (!db.IsOpen()) return false;
    CSingleLock lock(&db.GetLock(), TRUE);
    CppSQLite3Query q = db.Query(sql);
    for (; !q.IsEnd(); q.Next())
        paths.insert(ReadText(q, "strPathToSearch"));
    return true;
}

}  // namespace

bool CDbFacade::GetPathTasks(std::set<CString>& paths) {
    return ReadPathList(m_db, sqltext::kPathTaskSelectAll, paths);
}

bool CDbFacade::GetNtfsPathTasks(std::set<CString>& paths) {
    return ReadPathList(m_db, sqltext::kNtfsTaskSelectAll, paths);
}

// ---------------------------------------------------------------- folder baselines

bool CDbFacade::GetMonthRowsOfFolder(const CString& folder,
                                     std::vector<std::pair<_tagTimePath, CString>>& rows) {
    if (!CanRun()) return false;
    std::string sql = sqltext::kMonthRowsOfFolderHead;
    sql += SqlText(folder);
    sql += ";";
    CSingleLock lock(&m_db.GetLock(), TRUE);
    CppSQLite3Query q = m_db.Query(sql.c_str());
    for (; !q.IsEnd(); q.Next()) {
        _tagTimePath month;
        ReadRow(q, month);
        rows.emplace_back(month, ReadText(q, "strFullPath"));
    }
    return true;
}

void CDbFacade::RegisterFolder(const CString& folder) {
    CSingleLock lock(&m_baselines.GetLock(), TRUE);
    if (m_baselines.Has(folder)) return;
    std::vector<std::pair<_tagTimePath, CString>> rows;
    try {
        if (!GetMonthRowsOfFolder(folder, rows)) return;
    } catch (const CppSQLite3Exception&) {
        // Left to choose: the analyser calls this for every file, so a failed read only
        // leaves the folder without a baseline for now; its next file tries again.
        return;
    }
    CMonthChangeMap negated;
    for (const auto& [month, path] : rows) {
        auto& entry = negated[month.tPathPicTime];
        entry.first -= month.iPicCountT;
        entry.second -= month.iPicSizeT;
    }
    m_baselines.Store(folder, negated);
}
