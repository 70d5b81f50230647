#include "db/path_dao.h"

#include "picdex/common_func.h"
#include "platform/strings.h"

namespace {

void AddBackslash(CString& path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
}

}  // namespace

bool CPathDao::GetByFullPath(CString fullPath, _tagPathInfo& rec) {
    if (!CanRun()) return false;
    std::string sql = sqltext::kPathByFullPathHead;
    sql += SqlText(fullPath);
    sql += sqltext::kPathByFullPathTail;
    return SelectOne(sql, rec);
}

int CPathDao::LookUp(const CString& fullPath) {
    _tagPathInfo rec;
    if (!GetByFullPath(fullPath, rec)) return 0;
    m_cache.Put(fullPath, rec.iPathID);
    return rec.iPathID;
}

int CPathDao::GetPathID(CString fullPath, bool create) {
    if (fullPath.empty() || !CanRun()) return 0;
    AddBackslash(fullPath);
    int id = 0;
    if (m_cache.Get(fullPath, id) && id != 0) return id;
    id = LookUp(fullPath);
    if (id != 0 || !create) return id;

    CSingleLock lock(&m_csCreate, TRUE);
    // Another thread may have created the folder while this one waited for the lock;
    // creating it again would replace its row and give it a new id.
    if (m_cache.Get(fullPath, id) && id != 0) return id;
    id = LookUp(fullPath);
    if (id != 0) return id;
    _tagPathInfo rec;
    rec.strFullPath = fullPath;
    rec.strPathName = CCommonFunc::GetTitle(fullPath);
    if (!InsertPath(rec, plat::Find(fullPath, L'\\') >= 0)) return 0;
    return rec.iPathID;
}

bool CPathDao::InsertPath(_tagPathInfo& rec, bool hasParent) {
    if (!CanRun()) return false;
    AddBackslash(rec.strFullPath);
    if (rec.iParentID == 0 && hasParent) {
        CString parent = CCommonFunc::GetParentFolder(rec.strFullPath);
        if (!parent.empty()) {
            rec.iParentID = GetPathID(parent, true);
            if (rec.iParentID == 0) return false;
        }
    }
    if (!Insert(rec)) return false;
    m_cache.Put(rec.strFullPath, rec.iPathID);
    return true;
}

bool CPathDao::HasSubFolder(CString fullPath) {
    if (!CanRun()) return false;
    AddBackslash(fullPath);
    std::string sql = sqltext::kPathBelowHead;
    sql += SqlEscape(fullPath);
    sql += sqltext::kPathBelowTail;
    _tagPathInfo rec;
    return SelectOne(sql, rec);
}

bool CPathDao::AddPictures(int pathID, int count, int size) {
    if (pathID <= 0 || !CanRun()) return false;
    std::string sql = sqltext::kPathAddHead;
    sql += SqlInt(count);
    sql += sqltext::kPathAddSizeMid;
    sql += SqlInt(size);
    sql += sqltext::kPathAddIdMid;
    sql += SqlInt(pathID);
    sql += ";";
    m_pDB->Execute(sql.c_str());
    return true;
}
