// The host's extra questions to the index, answered through the service object's
// database layer on the caller's thread.
#include "picdex/host_index.h"

#include <cwctype>
#include <exception>
#include <string>

#include "db/cppsqlite3.h"
#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "engine/search_engine.h"
#include "picdex/common_func.h"

namespace picdex {

namespace {

CDbFacade& Db() {
    return CSearchEngine::Instance().Db();
}

// A count(*) statement's value, -1 when no index is open or the statement fails.
int Count(const char* sql) {
    CDbFacade& db = Db();
    if (!db.IsOpen()) return -1;
    try {
        return db.GetDbMng().QueryScalar(sql);
    } catch (...) {
        return -1;
    }
}

bool IsDigest(const CString& text) {
    if (text.size() != 32) return false;
    for (wchar_t c : text)
        if (!std::iswxdigit(wint_t(c)) || c > 127) return false;
    return true;
}

}  // namespace

int CountIndexedFiles() {
    return Count("select count(*) from tb_file_info;");
}

int CountFilesToAnalyse() {
    // The index on strMD5 serves the range; "" is the only text below "0" that the
    // writer stores.
    return Count("select count(*) from tb_file_info where strMD5 < '0';");
}

bool GetFilesOfSharedSize(std::vector<IndexedFile>& out) {
    CDbFacade& db = Db();
    if (!db.IsOpen()) return false;
    static const char kSql[] =
        "select strFullPath || strFileName as strFullPathName, iFileSize, strMD5 from "
        "tb_file_info left join tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID "
        "where iFileSize > 0 and iFileSize in (select iFileSize from tb_file_info group by "
        "iFileSize having count(*) > 1) order by iFileSize desc, strFullPathName;";
    std::vector<IndexedFile> files;
    try {
        CDBMng& mng = db.GetDbMng();
        CSingleLock lock(&mng.GetLock(), TRUE);
        for (CppSQLite3Query q = mng.Query(kSql); !q.IsEnd(); q.Next()) {
            IndexedFile f;
            f.path = ReadText(q, "strFullPathName");
            const char* size = q.ColumnText(1);
            f.size = size ? std::stoll(size) : 0;
            f.md5 = ReadText(q, "strMD5");
            if (f.path.size() >= 3) files.push_back(std::move(f));
        }
    } catch (...) {
        return false;
    }
    out = std::move(files);
    return true;
}

int SetFileDigests(const std::vector<std::pair<CString, CString>>& digests) {
    CDbFacade& db = Db();
    if (!db.IsOpen()) return -1;
    int stored = 0;
    try {
        CDBMng& mng = db.GetDbMng();
        CScopedTransaction transaction(&mng);
        for (const auto& [path, digest] : digests) {
            if (!IsDigest(digest)) continue;
            CString upper = digest;
            for (wchar_t& c : upper)
                c = wchar_t(std::towupper(wint_t(c)));
            CString folder = CCommonFunc::GetParentFolder(path);
            CString name = CCommonFunc::GetTitle(path);
            if (folder.empty() || name.empty()) continue;
            std::string sql = "update tb_file_info set strMD5 = " + SqlText(upper) +
                              " where iPathID = (select iPathID from tb_path_info where "
                              "strFullPath = " +
                              SqlText(folder) + ") AND strFileName = " + SqlText(name) + ";";
            if (mng.Execute(sql.c_str()) > 0) ++stored;
        }
    } catch (...) {
        return -1;
    }
    return stored;
}

bool StartRunCounts() {
    CDbFacade& db = Db();
    if (!db.IsOpen()) return false;
    // Temporary objects live in the connection's own temporary database: nothing is
    // written to the index file, and they are gone when the connection closes. Every
    // row the scan writes into tb_file_info is an insert (new files plainly, known ones
    // replacing their row), so a trigger before each insert compares the row with the
    // one it replaces, found by folder and name (one lookup per insert; a row without
    // a digest change counts nowhere).
    static const char* const kSql[] = {
        "create temp table if not exists picdex_run_counts (kind text primary key, n integer);",
        "replace into temp.picdex_run_counts values ('added', 0), ('changed', 0), "
        "('analysed', 0);",
        "create temp trigger if not exists picdex_run_count before insert on "
        "main.tb_file_info begin "
        "update picdex_run_counts set n = n + 1 where kind = (select case "
        "when prev.strMD5 is null then 'added' "
        "when new.strMD5 = '' and prev.strMD5 <> '' then 'changed' "
        "when new.strMD5 <> '' and prev.strMD5 = '' then 'analysed' end "
        "from (select (select strMD5 from main.tb_file_info where iPathID = new.iPathID "
        "and strFileName = new.strFileName) as strMD5) as prev); "
        "end;",
    };
    try {
        for (const char* sql : kSql)
            db.GetDbMng().Execute(sql);
    } catch (...) {
        return false;
    }
    return true;
}

bool GetRunCounts(RunCounts& out) {
    CDbFacade& db = Db();
    if (!db.IsOpen()) return false;
    RunCounts counts;
    try {
        CDBMng& mng = db.GetDbMng();
        CSingleLock lock(&mng.GetLock(), TRUE);
        for (CppSQLite3Query q = mng.Query("select kind, n from temp.picdex_run_counts;");
             !q.IsEnd(); q.Next()) {
            std::string kind = q.ColumnText(0) ? q.ColumnText(0) : "";
            int n = q.GetInt("n", 0);
            if (kind == "added")
                counts.added = n;
            else if (kind == "changed")
                counts.changed = n;
            else if (kind == "analysed")
                counts.analysed = n;
        }
    } catch (...) {
        return false;
    }
    out = counts;
    return true;
}

std::string DescribeCurrentException() {
    try {
        std::exception_ptr current = std::current_exception();
        if (!current) return "unknown error";
        std::rethrow_exception(current);
    } catch (const CppSQLite3Exception& e) {
        const char* message = e.ErrorMessage();
        return message ? message : "database error " + std::to_string(e.ErrorCode());
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "unknown error";
}

}  // namespace picdex
