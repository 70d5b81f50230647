// obj_dao<T>: the generic mapper of one record type to its table: insert-or-replace,
// select by id, delete by id.
//
// A DAO reaches the database only through the manager's locked operations. Until the
// manager is handed over (SetDbMng), or while it has no open connection, every
// operation does nothing and reports failure (false). Statement failures are thrown
// (CppSQLite3Exception) and pass to the caller. Thread-safe as far as the manager is:
// the DAO itself holds no state but the manager pointer, set once at start-up.
#pragma once

#include <string>

#include "db/db_mng.h"
#include "db/record_sql.h"
#include "db/records.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"

// Table and id column of each record type.
template <typename T>
struct RecordTable;
template <>
struct RecordTable<_tagFileInfo> {
    static constexpr const char* kTable = "tb_file_info";
    static constexpr const char* kIdColumn = "iFileID";
    static int& Id(_tagFileInfo& r) { return r.iFileID; }
};
template <>
struct RecordTable<_tagExifInfo> {
    static constexpr const char* kTable = "tb_exif_info";
    static constexpr const char* kIdColumn = "iExifID";
    static int& Id(_tagExifInfo& r) { return r.iExifID; }
};
template <>
struct RecordTable<_tagIptcInfo> {
    static constexpr const char* kTable = "tb_iptc_info";
    static constexpr const char* kIdColumn = "iIptcID";
    static int& Id(_tagIptcInfo& r) { return r.iIptcID; }
};
template <>
struct RecordTable<_tagGpsInfo> {
    static constexpr const char* kTable = "tb_gps_info";
    static constexpr const char* kIdColumn = "iGpsID";
    static int& Id(_tagGpsInfo& r) { return r.iGpsID; }
};
template <>
struct RecordTable<_tagPathInfo> {
    static constexpr const char* kTable = "tb_path_info";
    static constexpr const char* kIdColumn = "iPathID";
    static int& Id(_tagPathInfo& r) { return r.iPathID; }
};
template <>
struct RecordTable<_tagTimePath> {
    static constexpr const char* kTable = "tb_time_path_info";
    static constexpr const char* kIdColumn = "iTimePathID";
    static int& Id(_tagTimePath& r) { return r.iTimePathID; }
};

template <typename T>
class obj_dao {
public:
    obj_dao() = default;
    virtual ~obj_dao() = default;
    obj_dao(const obj_dao&) = delete;
    obj_dao& operator=(const obj_dao&) = delete;

    void SetDbMng(CDBMng* db) { m_pDB = db; }
    CDBMng* GetDbMng() const { return m_pDB; }

    // Writes the record: a new row when its id is 0 (the record then takes the new row
    // id; true only if that id is not 0), else the row with that id is overwritten.
    bool Insert(T& rec) {
        if (!CanRun()) return false;
        int& id = RecordTable<T>::Id(rec);
        int rowId = 0;
        m_pDB->ExecuteGetRowId(BuildInsert(rec).c_str(), rowId);
        if (id != 0) return true;
        id = rowId;
        return id != 0;
    }

    // "Delete from <table> where <id> = <id> ;"; true when the statement ran.
    bool Delete(int id) {
        if (!CanRun()) return false;
        std::string sql = sqltext::kDeleteByIdHead;
        sql += RecordTable<T>::kTable;
        sql += sqltext::kWhere;
        sql += RecordTable<T>::kIdColumn;
        sql += sqltext::kEquals;
        sql += SqlInt(id);
        sql += sqltext::kDeleteByIdTail;
        m_pDB->Execute(sql.c_str());
        return true;
    }

    // Reads the row with that id into `rec`; false when there is none.
    bool Select(int id, T& rec) {
        if (!CanRun()) return false;
        std::string sql = sqltext::kSelectByIdHead;
        sql += RecordTable<T>::kTable;
        sql += sqltext::kWhere;
        sql += RecordTable<T>::kIdColumn;
        sql += sqltext::kEquals;
        sql += SqlInt(id);
        sql += sqltext::kSelectByIdTail;
        return SelectOne(sql, rec);
    }

protected:
    bool CanRun() const { return m_pDB && m_pDB->IsOpen(); }

    // Runs a query and reads its first row into `rec`, under the manager's lock.
    bool SelectOne(const std::string& sql, T& rec) {
        CSingleLock lock(&m_pDB->GetLock(), TRUE);
        CppSQLite3Query q = m_pDB->Query(sql.c_str());
        return ReadRow(q, rec);
    }

    CDBMng* m_pDB = nullptr;
};
