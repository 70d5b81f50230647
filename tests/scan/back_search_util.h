// Helpers of the background scanner's tests: small pictures with camera metadata in
// folder trees and NTFS volume images of them, a scanner on a real database recording
// the writer's reports, and a dump of the index to compare runs by.
#pragma once

#include <gtest/gtest.h>

#include <mutex>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/report_sink.h"
#include "db/text_codec.h"
#include "scan/back_search.h"

namespace scantest {

using Texts = std::vector<std::string>;

// An 8 x 8 JPEG at host path `path` with, by `kind`: 0 EXIF, GPS and IPTC (Canon, July
// 2008), 1 EXIF only (Nikon), 2 nothing; `extra` bytes after it change the size only.
void WritePicture(const std::string& path, int kind, size_t extra = 0);
// Folders <root>/groupGG/albumFFF/, ten to a group, each with `perFolder` pictures
// img1NN.jpg of the three kinds in turn and a text file.
void WriteTree(const std::string& root, int folders, int perFolder);
// <tree>.img: an NTFS volume holding a copy of `tree`.
void MakeNtfsImage(const std::string& tree, int sizeMiB = 32);

// A temporary folder (in /dev/shm when it has room: a commit there costs no disk flush)
// holding the system folders, outside every drive of the tests.
struct Machine {
    static std::string Fast();
    testutil::ScopedEnv fast{"TMPDIR", Fast()};
    testutil::TempDir root;
    testutil::ScopedEnv data{"XDG_DATA_HOME", root.MakeDir("sys/data")},
        docs{"XDG_DOCUMENTS_DIR", root.MakeDir("sys/docs")},
        config{"XDG_CONFIG_HOME", root.MakeDir("sys/config")},
        tmp{"TMPDIR", root.MakeDir("sys/tmp")};
};

// A scanner on a database file, recording the writer's reports in order ("saved <folder>
// <new files>", "stats <folder>", "drive <letter>", "ntfs", "walk", "run") and running
// the end-of-walk and end-of-run actions as the service does. A second harness on the
// same file stands for a new process.
class ScanHarness : public IDbReportSink {
public:
    explicit ScanHarness(const std::string& dbPath);
    ~ScanHarness() override;
    // A new run (or the stored one continued), waited for: false and a failure when the
    // pool does not end within `seconds`.
    bool Run(bool fresh = true, double seconds = 300);
    // The reports whose text starts with one of `prefixes`.
    Texts Events(std::initializer_list<const char*> prefixes);

    CDbFacade db;
    CBackSearch scanner{&db};

private:
    void Add(const char* what, const CString& text = L"", int n = -1);
    void OnFolderSaved(const CString& folder, int n) override { Add("saved", folder, n); }
    void OnFolderStats(const CString& f, const CMonthChangeMap&) override { Add("stats", f); }
    void OnDriveDone(wchar_t letter) override { Add("drive", CString(1, letter)); }
    void OnNtfsPhaseDone() override { Add("ntfs"); }
    void OnFolderWalkDone() override;
    void RunScanFinishAction() override { scanner.FinishAction(); }
    void OnRunDone() override { Add("run"); }
    std::mutex m_lock;
    Texts m_events;
};

// Every row a run decides, sorted, without row ids and search times.
Texts DumpIndex(const std::string& dbPath);
// The rows of a query, columns joined by '|', drive letters in capitals (a continued
// run names folders with the lower-case letter of its task rows).
Texts Query(const std::string& dbPath, const std::string& sql);

}  // namespace scantest
