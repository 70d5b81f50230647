// Helpers of the background scanner's tests: picture files with camera metadata, a
// machine of temporary drives (folders, and NTFS volume images made from folders), a
// scanner on a real database with a recording report sink, and a dump of the index
// that two runs can be compared by.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/report_sink.h"
#include "scan/back_search.h"

namespace scantest {

// The kinds of picture the tests write: the same small JPEG frame with camera EXIF,
// GPS and IPTC blocks (kCanon), with EXIF only (kNikon), or with no metadata (kPlain).
enum class Picture { kCanon, kNikon, kPlain };

// Writes a picture file at `path` (host path; folders are created). `extra` bytes are
// appended after the image data, which changes the size and not what is read.
void WritePicture(const std::string& path, Picture kind, size_t extra = 0);

// Writes `folders` folders below `root` (host path), nested two deep in groups of
// `fanOut`, each holding `perFolder` pictures of the three kinds in turn, plus one
// text file. Returns the number of pictures written.
int WriteTree(const std::string& root, int folders, int perFolder, int fanOut = 10);

// Makes an NTFS volume image of `sizeMiB` holding a copy of the tree at `tree`.
// Returns false (and records a test failure) when the image cannot be made.
bool MakeNtfsImage(const std::string& tree, const std::string& image, int sizeMiB);

// A folder for the tests' temporary files where a database commit costs no disk
// flush (/dev/shm when there is one), so that runs that commit once per folder stay
// fast; the current temporary folder otherwise (or when /dev/shm has less than 1 GiB
// free).
std::string FastTempFolder();

// The folders a test machine needs besides its drives: the application-data,
// documents, temporary and configuration folders, outside every drive so that no
// default filter applies to the drives.
class ScopedSystemFolders {
public:
    explicit ScopedSystemFolders(const testutil::TempDir& root);

private:
    testutil::ScopedEnv m_data, m_docs, m_tmp, m_config;
};

// What the database writer reported, in order, as texts: "saved <folder> <new files>",
// "stats <folder>", "drive <letter>", "ntfs", "walk", "run"; the end-of-walk and
// end-of-run actions are run as the service runs them. Thread-safe: reports come from
// the writer's thread while the test reads them.
class RecordingSink : public IDbReportSink {
public:
    RecordingSink(CDbFacade& db, CBackSearch& scanner) : m_db(db), m_scanner(scanner) {}
    void OnFolderSaved(const CString& folder, int newFiles) override;
    void OnFolderStats(const CString& folder, const CMonthChangeMap&) override;
    void OnDriveDone(wchar_t letter) override;
    void OnNtfsPhaseDone() override { Add("ntfs"); }
    void OnFolderWalkDone() override;
    void RunScanFinishAction() override { m_scanner.FinishAction(); }
    void OnRunDone() override { Add("run"); }

    // The reports whose text starts with one of `prefixes` (all of them when empty),
    // with the prefix kept.
    std::vector<std::string> Events(std::initializer_list<const char*> prefixes = {});

private:
    void Add(std::string event);
    std::mutex m_lock;
    CDbFacade& m_db;
    CBackSearch& m_scanner;
    std::vector<std::string> m_events;
};

// A database file opened by a database layer object, with a scanner that writes
// through it and a recording sink. Reopen simulates a new process on the same file.
class ScanHarness {
public:
    explicit ScanHarness(const std::string& dbPath);
    ~ScanHarness();

    CDbFacade& Db() { return *m_db; }
    CBackSearch& Scanner() { return *m_scanner; }
    RecordingSink& Sink() { return *m_sink; }

    // Starts a new run (or continues the stored one) and waits until the pool ended;
    // false (and a test failure) when it does not end within `seconds`.
    bool RunNew(double seconds = 300);
    bool Continue(double seconds = 300);
    bool WaitFinished(double seconds = 300);
    // Closes everything and opens the file again with a new scanner.
    void Reopen();
    void Close();

    // Records the text of every statement run through the manager from now on; read
    // them once the run has ended.
    void RecordStatements();
    const std::vector<std::string>& Statements() const { return m_statements; }

private:
    void Open();

    std::string m_path;
    std::unique_ptr<CDbFacade> m_db;
    std::unique_ptr<CBackSearch> m_scanner;
    std::unique_ptr<RecordingSink> m_sink;
    std::vector<std::string> m_statements;
};

// Every row of the index that a run decides, as sorted texts without row ids and
// search times: files with their folder and their EXIF, IPTC and GPS values, folders
// with their parent and counts, per-month counts, the two task lists and the run's
// list flags. Read from the file directly. Drive letters are written in capitals (a
// continued run may name a folder with the lower-case letter its task row holds; the
// index compares paths without regard to case).
std::vector<std::string> DumpIndex(const std::string& dbPath);
// One number from the file (e.g. "select count(*) from tb_file_info").
long long QueryNumber(const std::string& dbPath, const std::string& sql);
std::vector<std::string> QueryColumn(const std::string& dbPath, const std::string& sql);

}  // namespace scantest
