// CNtfsReader: lists the picture files of a whole NTFS drive from its master file table
// (MFT) instead of walking its folders.
//
// Per drive the owner calls OpenVolume, ReadBoot and ReadAll, in that order. ReadAll
// makes two passes: the record pass reads every MFT record once, in order, and keeps
// the directories and the files whose names are pictures; the folder pass gives each
// picture its folder path and hands it to m_pfnFound on the calling thread. A device
// that cannot be opened yields nothing; nothing is reported.
//
// Threads: ReadAll and the callback run on the owner's thread. Another thread may
// clear m_bKeepReading to stop, and read m_nRecordsSeen, m_nPictureCount and
// m_bSecondPass for progress; nothing else is shared and no lock is taken.
//
// A damaged or hostile volume never makes the reader crash, hang or read outside the
// device: absurd geometry makes ReadBoot fail, damaged records are skipped, data runs
// are clipped to the volume, and parent chains that loop are cut.
//
// Extension records are followed where reading each record alone would lose data: the
// runs of a large MFT that go on outside record 0 (through its attribute list), names
// kept in an extension record (a file with many hard links: they are the base file's,
// with its record number, time and size), and the size of a file whose $DATA lies in an
// extension record.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "picdex/sync.h"
#include "platform/types.h"

// One kept MFT record: a directory, or a picture file under one of its names.
struct _tagMftEntry {
    ULONGLONG nRecordNumber = 0;  // from the record header
    // Record number (48 bits) of the parent directory; 5, the root, when the record
    // has no name.
    ULONGLONG nParentRef = 5;
    // The record's name, zero-terminated. Owned by the reader; valid until ReadAll ends.
    wchar_t* szName = nullptr;
    // Directories: their full path once built (see bPathKnown). Pictures: the full path
    // of their folder, set only during the callback ("C:\Photos\2008", no trailing
    // backslash; the root itself, "C:\", for a file in the root). Otherwise null.
    wchar_t* szFolderPath = nullptr;
    DWORD bDirectory = 0;           // 1 for directories
    ULONGLONG nFileSize = 0;        // bytes of the unnamed data; 0 for directories
    ULONGLONG nLastModifyTime = 0;  // FILETIME in UTC (100 ns units since 1601)
    // Directories: 1 once szFolderPath holds their path; another non-zero value once the
    // folder pass has found that no path can be built for them.
    BYTE bPathKnown = 0;
};

// Called once per picture: (entry, 0, m_pContext). The entry and its texts are valid
// only during the call.
using PFN_NTFS_FOUND = void (*)(_tagMftEntry* entry, int reserved, void* context);

class CNtfsReader {
public:
    CNtfsReader();
    ~CNtfsReader();  // closes the volume
    CNtfsReader(const CNtfsReader&) = delete;
    CNtfsReader& operator=(const CNtfsReader&) = delete;

    // Accepts the drive when its volume reports the file-system name "NTFS" exactly,
    // and prepares the device name and the root text. Reads nothing.
    bool OpenVolume(char letter);
    // Closes the previous volume, clears m_bKeepReading, opens the device for reading,
    // reads the boot sector and MFT record 0. False when the device cannot be opened or
    // does not hold a usable NTFS boot sector and MFT record 0.
    bool ReadBoot();
    // The record pass, then the folder pass (see the file comment). Reads nothing
    // unless the last ReadBoot succeeded. Sets m_nPictureCount, then frees both lists.
    void ReadAll();

    // --- Set by the owner --------------------------------------------------------------
    PFN_NTFS_FOUND m_pfnFound = nullptr;
    // 1 while a drive is being read; the owner clears it (from any thread) to stop.
    std::atomic<BYTE> m_bKeepReading{0};

    // --- State of the drive being read -------------------------------------------------
    CString m_szRoot;                         // "C:\"
    std::vector<_tagMftEntry> m_vecPictures;  // picture files, in MFT order
    std::vector<_tagMftEntry> m_vecFolders;   // directories, ascending record number
    // Progress, readable from any thread: records with a kept name examined on this
    // drive; pictures found (final after the record pass); 1 during the folder pass.
    InterlockedLong m_nRecordsSeen{0};
    InterlockedLong m_nPictureCount{0};
    std::atomic<BYTE> m_bSecondPass{0};
    void* m_pContext = nullptr;  // handed to m_pfnFound

    DWORD m_nBytesPerCluster = 0;
    DWORD m_nMftRecordSize = 0;
    BYTE m_boot[512] = {};
    std::unique_ptr<BYTE[]> m_pRecord0;  // MFT record 0 ($MFT) after fix-up
    DWORD m_nDataAttrOffset = 0;         // of $MFT's unnamed $DATA in m_pRecord0; 0: none
    char m_szDevice[7] = {};             // "\\.\X:"
    HANDLE m_hVolume = nullptr;

    // Optional, set by the owner: called as m_pfnChunk(m_pContext) on the reading thread
    // after each chunk (4 clusters) of the record pass and before each picture of the
    // folder pass. It may block (a pause takes effect within one chunk) and may clear
    // m_bKeepReading (the pass stops before reading or delivering anything more).
    void (*m_pfnChunk)(void* context) = nullptr;

private:
    struct Pass;  // working state of one ReadAll
    void RecordPass(Pass& pass);
    void FolderPass(Pass& pass);
    void CloseVolume();

    LONGLONG m_nVolumeBytes = 0;  // readable size of the device
    bool m_bBootOk = false;       // the last ReadBoot succeeded
};
