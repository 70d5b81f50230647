#include "db/search_history.h"

#include <utility>
#include <vector>

#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "platform/strings.h"

bool CSearchHistory::LoadSearchHistory() {
    if (!CanRun()) return false;
    std::vector<std::pair<CString, int>> rows;
    {
        CSingleLock lock(&m_pDB->GetLock(), TRUE);
        CppSQLite3Query q = m_pDB->Query(sqltext::kHistorySelectAll);
        for (; !q.IsEnd(); q.Next())
            rows.emplace_back(ReadText(q, "strKey"), q.GetInt("iSearchTimes", 0));
    }
    CSingleLock lock(&m_cs, TRUE);
    m_map.clear();
    for (auto& [key, times] : rows)
        m_map[key] = times;
    return true;
}

bool CSearchHistory::GetSearchHistory(const CString& prefix, std::map<CString, int>& out,
                                      int maxCount) {
    if (maxCount < 1) return false;
    CSingleLock lock(&m_cs, TRUE);
    int copied = 0;
    for (auto it = m_map.lower_bound(prefix); it != m_map.end() && copied < maxCount; ++it) {
        const CString& key = it->first;
        if (key.size() < prefix.size() ||
            !plat::EqualsNoCase(std::wstring_view(key).substr(0, prefix.size()), prefix))
            break;
        out[key] = it->second;
        ++copied;
    }
    return true;
}

bool CSearchHistory::ClearSearchHistory() {
    if (!CanRun()) return false;
    m_pDB->Execute(sqltext::kHistoryDeleteAll);
    CSingleLock lock(&m_cs, TRUE);
    m_map.clear();
    return true;
}

bool CSearchHistory::AddSearch(const CString& key) {
    if (!CanRun()) return false;
    int count;
    {
        CSingleLock lock(&m_cs, TRUE);
        count = ++m_map[key];
    }
    std::string sql = sqltext::kHistoryReplaceHead;
    sql += SqlText(key);
    sql += ",";
    sql += SqlInt(count);
    sql += ");";
    m_pDB->Execute(sql.c_str());
    return true;
}
