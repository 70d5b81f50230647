#include "db/save_task.h"

#include "db/db_facade.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"

namespace {

void Add(InterlockedLong* counters, int index, LONG value) {
    if (counters) InterlockedExchangeAdd(&counters[index], value);
}

// "%c:\" with the letter turned to lower case by setting bit 5 (C gives c:\).
CString DriveRoot(wchar_t letter) {
    CString root;
    root += wchar_t(letter | 0x20);
    root += L":\\";
    return root;
}

bool Connected(CDbFacade* db) {
    return db && db->IsOpen();
}

}  // namespace

// ---------------------------------------------------------------- walk list

void CSaveAddFatFolder::Count(InterlockedLong* counters) {
    LONG n = static_cast<LONG>(m_setFolders.size());
    Add(counters, kSaveWalkAdds, n);
    Add(counters, kSaveFolderAdds, n);
    Add(counters, kSaveAllItems, n);
}

int CSaveAddFatFolder::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb)) return 0;
    for (const CString& folder : m_setFolders) {
        std::string sql = sqltext::kPathTaskReplaceHead;
        sql += SqlText(folder);
        sql += ");";
        m_pDb->GetDbMng().Execute(sql.c_str());
    }
    Count(counters);
    return 1;
}

void CSaveDelFatFolder::Count(InterlockedLong* counters) {
    Add(counters, kSaveWalkRemovals, 1);
    Add(counters, kSaveFolderRemovals, 1);
    Add(counters, kSaveAllItems, 1);
}

int CSaveDelFatFolder::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb)) return 0;
    std::string sql = sqltext::kPathTaskDeleteHead;
    sql += SqlText(m_strFolder);
    sql += ";";
    m_pDb->GetDbMng().Execute(sql.c_str());
    Count(counters);
    return 1;
}

// ---------------------------------------------------------------- drive list

void CSaveAddNtfsDrive::Count(InterlockedLong* counters) {
    Add(counters, kSaveNtfsAdds, 1);
    Add(counters, kSaveFolderAdds, 1);
    Add(counters, kSaveAllItems, 1);
}

int CSaveAddNtfsDrive::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb)) return 0;
    CScopedTransaction txn(&m_pDb->GetDbMng());
    std::string sql = sqltext::kNtfsTaskReplaceHead;
    sql += SqlText(DriveRoot(m_chDrive));
    sql += ");";
    m_pDb->GetDbMng().Execute(sql.c_str());
    Count(counters);
    return 1;
}

void CSaveDelNtfsDrive::Count(InterlockedLong* counters) {
    Add(counters, kSaveNtfsRemovals, 1);
    Add(counters, kSaveFolderRemovals, 1);
    Add(counters, kSaveAllItems, 1);
}

int CSaveDelNtfsDrive::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb)) return 0;
    std::string sql = sqltext::kNtfsTaskDeleteHead;
    sql += SqlText(DriveRoot(m_chDrive));
    sql += ";";
    m_pDb->GetDbMng().Execute(sql.c_str());
    Count(counters);
    return 1;
}

// ---------------------------------------------------------------- configuration

void CSaveSetConfig::Count(InterlockedLong* counters) {
    Add(counters, kSaveAllItems, 1);
}

int CSaveSetConfig::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb) || !m_pDb->SetConfig(m_strKey, m_strValue)) return 0;
    Count(counters);
    return 1;
}

// ---------------------------------------------------------------- files

void CSaveFileDetail::Count(InterlockedLong* counters) {
    Add(counters, kSaveFileDetails, 1);
    Add(counters, kSaveAllItems, 1);
}

int CSaveFileDetail::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb) || m_pDb->SaveFileDetail(m_detail) != 1) return 0;
    Count(counters);
    return 1;
}

void CSaveFolderFile::Count(InterlockedLong* counters) {
    LONG n = static_cast<LONG>(m_setFiles.size());
    Add(counters, kSaveFolderLists, 1);
    Add(counters, kSaveListedFiles, n);
    Add(counters, kSaveAllItems, n + 1);
}

int CSaveFolderFile::Save(InterlockedLong* counters) {
    if (!Connected(m_pDb)) return 0;
    int newCount = 0;
    InterlockedLong* fileCounter = counters ? &counters[kSaveListedFiles] : nullptr;
    if (m_pDb->SaveFolderFiles(m_strFolder, m_setFiles, newCount, fileCounter) != 1) return 0;
    // The files were counted one by one as they were written.
    Add(counters, kSaveFolderLists, 1);
    Add(counters, kSaveAllItems, static_cast<LONG>(m_setFiles.size()) + 1);
    if (m_bNotify && m_pDb->GetReportSink())
        m_pDb->GetReportSink()->OnFolderSaved(m_strFolder, newCount);
    return 1;
}

// ---------------------------------------------------------------- finish reports

void CSaveFinishReport::Count(InterlockedLong* counters) {
    Add(counters, kSaveAllItems, 1);
}

int CSaveFinishReport::Save(InterlockedLong* counters) {
    IDbReportSink* sink = m_pDb ? m_pDb->GetReportSink() : nullptr;
    switch (m_nKind) {
        case 1:
            if (m_pDb) m_pDb->FolderFinished(m_strText);
            break;
        case 2:
            if (sink) sink->OnDriveDone(m_strText.empty() ? wchar_t(0) : m_strText[0]);
            break;
        case 3:
            if (m_pDb) m_pDb->RefreshAll();
            if (sink) sink->OnNtfsPhaseDone();
            break;
        case 4:
            if (sink) sink->OnFolderWalkDone();
            break;
        case 5:
            if (sink) {
                sink->RunScanFinishAction();
                sink->OnRunDone();
            }
            break;
        default:
            break;
    }
    Count(counters);
    return 1;
}
