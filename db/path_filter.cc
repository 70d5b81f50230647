#include "db/path_filter.h"

#include <utility>
#include <vector>

#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "picdex/common_func.h"

bool CPathFilter::LoadFilters() {
    if (!CanRun()) return false;
    std::vector<std::pair<CString, int>> rows;
    {
        CSingleLock lock(&m_pDB->GetLock(), TRUE);
        CppSQLite3Query q = m_pDB->Query(sqltext::kFilterSelectAll);
        for (; !q.IsEnd(); q.Next()) {
            if (q.ColumnType(q.ColumnIndex("iFilterType")) == SQLITE_NULL) continue;
            rows.emplace_back(ReadText(q, "strFullPath"), q.GetInt("iFilterType", 0));
        }
    }
    std::set<CString> fixed;
    CCommonFunc::GetFixedBlackList(fixed);
    {
        CSingleLock lock(&m_csTree, TRUE);
        m_root = CPathNode();
        for (const auto& [path, type] : rows) {
            if (type != 0) m_root.Insert(path.c_str(), type);
        }
        for (const CString& path : fixed)
            m_root.Insert(path.c_str(), kExcluded);
    }
    CSingleLock lock(&m_csSets, TRUE);
    m_setExcluded.clear();
    m_setIncluded.clear();
    for (const auto& [path, type] : rows) {
        // Left to choose: a stored type other than 1 and -1 (never written by this
        // system) enters the tree but neither set.
        if (type == kExcluded || type == kIncluded) SetOf(type).insert(path);
    }
    m_setExcluded.insert(fixed.begin(), fixed.end());
    return true;
}

int CPathFilter::GetFilterType(const CString& path) {
    CSingleLock lock(&m_csTree, TRUE);
    int type = 0;
    m_root.Lookup(path.c_str(), type);
    return type;
}

bool CPathFilter::HasIncludedBelow(const CString& path) {
    CSingleLock lock(&m_csTree, TRUE);
    return m_root.HasValueBelow(path.c_str(), kIncluded);
}

void CPathFilter::RemoveExcluded(std::set<CString>& folders) {
    for (auto it = folders.begin(); it != folders.end();) {
        if (GetFilterType(*it) == kExcluded)
            it = folders.erase(it);
        else
            ++it;
    }
}

bool CPathFilter::AddFilter(const CString& path, int type) {
    {
        CSingleLock lock(&m_csSets, TRUE);
        if (SetOf(type).count(path)) return true;
    }
    if (!CanRun()) return false;
    std::string sql = sqltext::kFilterReplaceHead;
    sql += SqlText(path);
    sql += ",";
    sql += SqlInt(type);
    sql += ");";
    m_pDB->Execute(sql.c_str());
    {
        CSingleLock lock(&m_csTree, TRUE);
        m_root.Insert(path.c_str(), type);
    }
    CSingleLock lock(&m_csSets, TRUE);
    SetOf(type).insert(path);
    return true;
}

bool CPathFilter::RemoveFilter(const CString& path, int type) {
    {
        CSingleLock lock(&m_csSets, TRUE);
        if (!SetOf(type).count(path)) return false;
    }
    if (!CanRun()) return false;
    std::string sql = sqltext::kFilterDeleteHead;
    sql += SqlText(path);
    sql += ";";
    m_pDB->Execute(sql.c_str());
    {
        CSingleLock lock(&m_csTree, TRUE);
        m_root.Remove(path.c_str());
    }
    CSingleLock lock(&m_csSets, TRUE);
    SetOf(type).erase(path);
    return true;
}

void CPathFilter::GetExcludedFilters(std::set<CString>& out) {
    CSingleLock lock(&m_csSets, TRUE);
    out = m_setExcluded;
}

void CPathFilter::GetIncludedFilters(std::set<CString>& out) {
    CSingleLock lock(&m_csSets, TRUE);
    out = m_setIncluded;
}

bool CPathFilter::SetFilters(const std::set<CString>& wanted, int type) {
    if (!CanRun()) return false;
    CScopedTransaction txn(m_pDB);
    std::set<CString> current;
    {
        CSingleLock lock(&m_csSets, TRUE);
        current = SetOf(type);
    }
    // One walk in set order: the statements run in path order, so of two paths that
    // differ only in case (one row in the case-insensitive table) the one ordered first
    // is handled first.
    auto have = current.begin();
    auto want = wanted.begin();
    while (have != current.end() || want != wanted.end()) {
        if (want == wanted.end() || (have != current.end() && *have < *want)) {
            RemoveFilter(*have++, type);
        } else if (have == current.end() || *want < *have) {
            AddFilter(*want++, type);
        } else {
            ++have;
            ++want;
        }
    }
    return true;
}
