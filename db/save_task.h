// ISaveTask and the eight task classes: the only way a scan writes to the database.
// A scanning thread makes a task, fills its payload and queues it (CSaveQueue); the
// queue's owner drains it on its own thread, calling Save on each task in order.
//
// Save writes through the database layer object given at construction; on success it
// counts the task's items into `counters` (a block of kSaveCounterCount interlocked
// counters; null is ignored) and returns 1; on failure it returns 0 and counts nothing.
// Statement failures are thrown and pass to the drain. Count adds the task's items to a
// counter block without writing anything.
// A task is used by one thread at a time; it reports to the layer's report sink.
#pragma once

#include <set>

#include "db/records.h"
#include "picdex/common_func.h"
#include "picdex/sync.h"

class CDbFacade;

// The save counters.
enum SaveCounter {
    kSaveAllItems = 0,        // tasks and files
    kSaveFolderAdds = 1,      // folder and drive additions
    kSaveFolderRemovals = 2,  // folder and drive removals
    kSaveNtfsAdds = 3,        // NTFS drives added
    kSaveNtfsRemovals = 4,    // NTFS drives removed
    kSaveWalkAdds = 5,        // folders added to the walk list
    kSaveWalkRemovals = 6,    // folders removed from the walk list
    kSaveFolderLists = 7,     // folder file lists saved
    kSaveListedFiles = 8,     // files of folder file lists
    kSaveFileDetails = 9,     // single file details saved
    kSaveCounterCount = 10
};

class ISaveTask {
public:
    virtual ~ISaveTask() = default;
    virtual void Count(InterlockedLong* counters) = 0;
    virtual int Save(InterlockedLong* counters) = 0;
};

// Folders to add to the walk list (tb_path_task).
class CSaveAddFatFolder : public ISaveTask {
public:
    CSaveAddFatFolder(CDbFacade* db, const std::set<CString>& folders)
        : m_pDb(db), m_setFolders(folders) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    std::set<CString> m_setFolders;
};

// A folder to remove from the walk list.
class CSaveDelFatFolder : public ISaveTask {
public:
    CSaveDelFatFolder(CDbFacade* db, const CString& folder) : m_pDb(db), m_strFolder(folder) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    CString m_strFolder;
};

// An NTFS drive to add to the drive list (tb_ntfs_path_task), stored as its root with
// a lower-case letter.
class CSaveAddNtfsDrive : public ISaveTask {
public:
    CSaveAddNtfsDrive(CDbFacade* db, wchar_t letter) : m_pDb(db), m_chDrive(letter) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    wchar_t m_chDrive;
};

// An NTFS drive to remove from the drive list.
class CSaveDelNtfsDrive : public ISaveTask {
public:
    CSaveDelNtfsDrive(CDbFacade* db, wchar_t letter) : m_pDb(db), m_chDrive(letter) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    wchar_t m_chDrive;
};

// A configuration value.
class CSaveSetConfig : public ISaveTask {
public:
    CSaveSetConfig(CDbFacade* db, const CString& key, const CString& value)
        : m_pDb(db), m_strKey(key), m_strValue(value) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    CString m_strKey;
    CString m_strValue;
};

// An analysed file with its metadata; the analyser fills the record before queuing.
class CSaveFileDetail : public ISaveTask {
public:
    explicit CSaveFileDetail(CDbFacade* db) : m_pDb(db) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

    _tagFileDetail m_detail;

private:
    CDbFacade* m_pDb;
};

// The pictures found in one folder; with the notify flag the saved folder is reported.
class CSaveFolderFile : public ISaveTask {
public:
    CSaveFolderFile(CDbFacade* db, const CString& folder, const std::set<_tagSimpleFileInfo>& files,
                    int notify)
        : m_pDb(db), m_strFolder(folder), m_setFiles(files), m_bNotify(notify) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    CString m_strFolder;
    std::set<_tagSimpleFileInfo> m_setFiles;
    int m_bNotify;
};

// The end of a folder (kind 1), a drive (2), the NTFS phase (3), the folder walk (4)
// or the run (5), written after every task queued before it. Other kinds do nothing.
class CSaveFinishReport : public ISaveTask {
public:
    CSaveFinishReport(CDbFacade* db, int kind, const CString& text)
        : m_pDb(db), m_nKind(kind), m_strText(text) {}
    void Count(InterlockedLong* counters) override;
    int Save(InterlockedLong* counters) override;

private:
    CDbFacade* m_pDb;
    int m_nKind;
    CString m_strText;
};
