// CDbFacade: what the save tasks write: a folder's file list, an analysed file with
// its metadata, the folder and month counters, and the finish of a folder.
#include <vector>

#include "db/db_facade.h"

namespace {

// Writes one metadata block of an analysed file (step 4 of saving a file detail):
// a block the file has is written over the old row when there was one, else as a new
// row whose id the file record takes; a block the file no longer has loses its row.
template <typename T>
bool SaveBlock(obj_dao<T>& dao, T& block, int& fileLink, int oldLink) {
    int& blockId = RecordTable<T>::Id(block);
    if (fileLink != -1) {
        if (oldLink > 0) {
            blockId = oldLink;
            fileLink = oldLink;
        }
        if (!dao.Insert(block)) return false;
        if (fileLink == 0) fileLink = blockId;
    } else if (oldLink > 0) {
        dao.Delete(oldLink);
    }
    return true;
}

}  // namespace

int CDbFacade::SaveFolderFiles(const CString& folder, const std::set<_tagSimpleFileInfo>& files,
                               int& newCount, InterlockedLong* fileCounter) {
    if (!CanRun()) return 0;
    int pathID = m_pathDao.GetPathID(folder, true);
    if (pathID <= 0) return 0;
    CScopedTransaction txn(&m_db);
    CTime now = CTime::GetCurrentTime();
    newCount = 0;
    for (const _tagSimpleFileInfo& entry : files) {
        _tagFileInfo rec;
        rec.iPathID = pathID;
        rec.strFileName = entry.strFileName;
        if (!m_fileDao.GetByName(rec)) {
            ++newCount;
            rec.tFileSearch = now;
            rec.strExt = CCommonFunc::GetFileExt(entry.strFileName);
        } else {
            rec.tFileSearch = now;
            bool changed = static_cast<LONGLONG>(entry.iFileSize) != rec.iFileSize ||
                           entry.tFileModify != rec.tFileModify;
            if (!rec.strMD5.empty() && changed) rec.strMD5.clear();
        }
        m_fileDao.Insert(rec);
        if (fileCounter) InterlockedIncrement(fileCounter);
    }
    int removed = 0;
    RefreshFolder(pathID, removed);
    newCount -= removed;
    return 1;
}

int CDbFacade::SaveFileDetail(_tagFileDetail& detail) {
    if (!CanRun()) return 0;
    CScopedTransaction txn(&m_db);
    _tagFileInfo& file = detail.fileInfo;
    _tagFileInfo old;
    bool found;
    if (file.iFileID > 0) {
        found = m_fileDao.Select(file.iFileID, old);
    } else {
        old.iPathID = file.iPathID;
        old.strFileName = file.strFileName;
        found = m_fileDao.GetByName(old);
        if (found) file.iFileID = old.iFileID;
    }
    if (!found) {
        old = _tagFileInfo();
        old.iPathID = file.iPathID;
    }
    if (old.strMD5 == file.strMD5 && old.iPathID == file.iPathID &&
        old.tFileSearch == file.tFileSearch && old.tFileModify == file.tFileModify &&
        old.strFileName == file.strFileName)
        return 1;

    if (!SaveBlock(m_exifDao, detail.exifInfo, file.iExifID, old.iExifID)) return 0;
    if (!SaveBlock(m_iptcDao, detail.iptcInfo, file.iIptcID, old.iIptcID)) return 0;
    if (!SaveBlock(m_gpsDao, detail.gpsInfo, file.iGpsID, old.iGpsID)) return 0;
    if (!m_fileDao.Insert(file)) return 0;
    UpdateCounts(static_cast<int>(old.iFileSize), file.iPathID, old.iPathID,
                 static_cast<int>(file.iFileSize), file.tSnapTime, old.tSnapTime);
    return 1;
}

void CDbFacade::UpdateCounts(int oldSize, int newPath, int oldPath, int newSize, CTime newSnap,
                             CTime oldSnap) {
    CScopedTransaction txn(&m_db);
    const CTime none;
    if (newPath != oldPath) {
        if (oldPath >= 0) m_pathDao.AddPictures(oldPath, -1, -oldSize);
        if (newPath >= 0) m_pathDao.AddPictures(newPath, 1, newSize);
        if (oldSnap != none) {
            m_timePathDao.AddPicture(oldPath, -1, -oldSize, oldSnap);
            m_timePathDao.AddPicture(newPath, 1, newSize, newSnap);
        }
        return;
    }
    bool sizeChanged = newSize != oldSize;
    if (sizeChanged && newPath >= 0) m_pathDao.AddPictures(newPath, 0, newSize - oldSize);
    if (newSnap == oldSnap) {
        if (sizeChanged && newSnap != none)
            m_timePathDao.AddPicture(newPath, 0, newSize - oldSize, newSnap);
    } else if (oldSnap != none) {
        m_timePathDao.AddPicture(oldPath, -1, -oldSize, oldSnap);
        m_timePathDao.AddPicture(newPath, 1, newSize, newSnap);
    }
}

int CDbFacade::FolderFinished(const CString& folder) {
    if (!CanRun()) return 0;
    int pathID = m_pathDao.GetPathID(folder, false);
    int removed = 0;
    RefreshFolder(pathID, removed);
    RebuildFolderMonths(pathID);
    std::vector<std::pair<_tagTimePath, CString>> rows;
    GetMonthRowsOfFolder(folder, rows);

    CSingleLock lock(&m_baselines.GetLock(), TRUE);
    CMonthChangeMap changes = m_baselines.Take(folder);
    for (const auto& [month, path] : rows) {
        auto& entry = changes[month.tPathPicTime];
        entry.first += month.iPicCountT;
        entry.second += month.iPicSizeT;
    }
    if (m_pSink) m_pSink->OnFolderStats(folder, changes);
    return 1;
}
