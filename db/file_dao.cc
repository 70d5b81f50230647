#include "db/file_dao.h"

bool CFileDao::GetByName(_tagFileInfo& rec) {
    if (!CanRun()) return false;
    std::string sql = sqltext::kFileByNameHead;
    sql += SqlInt(rec.iPathID);
    sql += sqltext::kFileByNameMid;
    sql += SqlText(rec.strFileName);
    sql += sqltext::kFileByNameTail;
    return SelectOne(sql, rec);
}
