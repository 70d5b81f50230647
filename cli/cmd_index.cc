// picdex index: brings the index up to date with the disks, with a progress display.
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/host_window.h"
#include "cli/mount_notice.h"
#include "cli/output.h"
#include "cli/scope.h"
#include "cli/session.h"
#include "picdex/common_func.h"
#include "picdex/drives.h"
#include "picdex/host_index.h"
#include "picdex/host_messages.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex index [OPTIONS] [FOLDER...]\n"
    "\n"
    "Brings the index up to date with the disks: finds new, changed and removed pictures\n"
    "and reads their size, pixel facts, camera data, captions and GPS position.\n"
    "\n"
    "With FOLDERs, exactly those folders (and everything below them) become what is\n"
    "indexed, and stay so for later runs ('picdex scope' shows and edits this). Without,\n"
    "the stored scope is indexed; a new index covers every fixed drive except its\n"
    "system, program and temporary folders.\n"
    "\n"
    "A run that was stopped (Ctrl-C, a crash, a reboot) is continued where it stopped;\n"
    "--restart starts a new one instead. One run at a time per index; searches and\n"
    "statistics work while it runs.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --restart          start a new run even when the last one was not finished\n"
    "  --json             print the summary as one JSON object\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -q, --quiet        no progress or log lines; errors and the summary only\n"
    "  -h, --help         this text\n"
    "\n"
    "On a terminal a progress line shows the phase, the pictures found, the files\n"
    "analysed and the folder at work; otherwise a plain log is written to standard\n"
    "error. Ctrl-C stops cleanly: what was found is kept and the next 'picdex index'\n"
    "continues. The summary (pictures, folders, new, changed, removed, time) goes to\n"
    "standard output.\n"
    "\n"
    "Exit status: 0 when the run finished, 1 when it failed or was stopped (also when\n"
    "another run is going on), 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},       {"restart", 0, false}, {"json", 0, false}, {"library-paths", 0, false},
    {"quiet", 'q', false}, {"help", 'h', false},
};

// What the library's messages told, collected on its notifier thread.
struct Reports {
    enum Kind { kDriveDone, kNtfsDone, kWalkDone, kRunDone };
    struct Event {
        Kind kind;
        wchar_t letter;
    };
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Event> events;
    bool runDone = false;

    void Push(Kind kind, wchar_t letter = 0) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back({kind, letter});
        if (kind == kRunDone) runDone = true;
        changed.notify_all();
    }
};

LRESULT OnMessage(Reports* reports, UINT msg, WPARAM wParam) {
    switch (msg) {
        case WM_PD_DRIVE_DONE:
            reports->Push(Reports::kDriveDone, wchar_t(wParam));
            return 0;
        case WM_PD_NTFS_DONE:
            reports->Push(Reports::kNtfsDone);
            return 0;
        case WM_PD_WALK_DONE:
            reports->Push(Reports::kWalkDone);
            return 0;
        case WM_PD_RUN_DONE:
            reports->Push(Reports::kRunDone);
            return 0;
        default:
            return 0;
    }
}

std::atomic<int> g_stopSignal{0};

void OnStopSignal(int sig) {
    g_stopSignal.store(sig);
}

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // A second Ctrl-C ends the process at once; the index stays consistent (every
    // write is transactional) and the next run continues.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// A per-second rate over the last few seconds of a growing count.
class Rate {
public:
    void Reset() { samples_.clear(); }
    void Add(Clock::time_point t, long long value) {
        samples_.push_back({t, value});
        while (samples_.size() > 2 && Seconds(samples_.front().t, t) > 3.0)
            samples_.pop_front();
    }
    long long PerSecond() const {
        if (samples_.size() < 2) return 0;
        double dt = Seconds(samples_.front().t, samples_.back().t);
        if (dt < 0.5) return 0;
        return (long long)((samples_.back().value - samples_.front().value) / dt);
    }

private:
    struct Sample {
        Clock::time_point t;
        long long value;
    };
    std::deque<Sample> samples_;
};

// The end of a path that fits in `width` characters, "..." in front when cut.
std::string PathTail(const std::string& path, size_t width) {
    std::vector<size_t> starts;  // character starts
    for (size_t i = 0; i < path.size(); ++i)
        if ((static_cast<unsigned char>(path[i]) & 0xC0) != 0x80) starts.push_back(i);
    if (starts.size() <= width) return path;
    if (width < 4) return std::string();
    return "..." + path.substr(starts[starts.size() - (width - 3)]);
}

enum Phase {
    kStarting = 0,
    kNtfsRead = 1,
    kNtfsPaths = 2,
    kNtfsDrain = 3,
    kFolderList = 4,
    kWalk = 5,
    kWalkDrain = 6,
    kFindAnalysis = 7,
    kAnalyse = 8,
    kAnalyseDrain = 9,
    kReportEnd = 10,
    kFinished = 13,
    kCancelling = 14,
    kCancelled = 15,
};

struct Status {
    int phase = 0;
    WORD drive = 0;
    int records = 0;
    int ntfsPictures = 0;
    int listedQueued = 0;
    int listedSaved = 0;
};

Status ReadStatus(ISearchBuss* s) {
    Status st;
    int zero = 0;
    s->GetScanStatus(0, &st.phase, &st.drive, &zero, &st.records, &st.ntfsPictures,
                     &st.listedQueued, &st.listedSaved);
    return st;
}

// Free space on the file system of `path`, -1 when it cannot be asked.
long long FreeBytes(const std::string& path) {
    struct statvfs fs {};
    if (statvfs(path.c_str(), &fs) != 0) return -1;
    return (long long)fs.f_bavail * (long long)fs.f_frsize;
}

// Below this much free space a run does not start, and a running one is stopped: the
// index grows by about a kilobyte per picture, and a write that finds the disk full is
// lost without the library saying so.
constexpr long long kStartBelowBytes = 2 << 20;
constexpr long long kStopBelowBytes = 512 << 10;

class IndexRun {
public:
    IndexRun(ISearchBuss* service, const std::string& dbPath, bool libraryPaths, bool quiet)
        : s_(service), dbPath_(dbPath), libraryPaths_(libraryPaths), quiet_(quiet) {}

    bool DiskFull() const { return diskFull_; }

    // Runs the scan to its end (or until a stop signal); true when it finished.
    // `leftToAnalyse` is what an earlier, interrupted run left to analyse.
    bool Run(bool continueRun, long long leftToAnalyse, bool* stopped);

    // What the run did, counted as the index was written.
    picdex::RunCounts counts;

private:
    void Log(const std::string& text) {
        if (quiet_) return;
        line_.Log(text);
    }
    void Sample(const Status& st, Clock::time_point now, bool phaseChanged);
    void Draw(const Status& st, Clock::time_point now);
    void HandleEvents(const Status& st);
    std::string Describe(const Status& st, bool withPath);

    ISearchBuss* s_;
    std::string dbPath_;
    bool diskFull_ = false;
    bool libraryPaths_;
    bool quiet_;
    ProgressLine line_;
    std::shared_ptr<Reports> reports_ = std::make_shared<Reports>();
    Rate rate_;
    int lastPhase_ = -1;
    // The files to analyse: those left before, and those the walk added or found changed.
    long long ToAnalyse() const { return leftBefore_ + counts.added + counts.changed; }
    long long leftBefore_ = 0;
    bool analysisAnnounced_ = false;
    Clock::time_point lastCount_{};
    Clock::time_point lastPlain_{};
};

long long FoundPictures(const Status& st) {
    // An NTFS drive's pictures are counted while it is read and again when its folders
    // are queued, so the larger of the two counts is the number found.
    return std::max<long long>(st.ntfsPictures, st.listedQueued);
}

std::string IndexRun::Describe(const Status& st, bool withPath) {
    std::string text;
    long long rate = rate_.PerSecond();
    std::string rateText = rate > 0 ? "  " + WithCommas(rate) + "/s" : "";
    switch (st.phase) {
        case kStarting:
            text = "starting";
            break;
        case kNtfsRead:
        case kNtfsPaths:
            text = std::string("reading drive ") + char(st.drive ? st.drive : '?') + ": (NTFS)  " +
                   WithCommas(st.records) + " records, " + WithCommas(st.ntfsPictures) +
                   " pictures" + rateText;
            break;
        case kNtfsDrain:
        case kWalkDrain:
            text = "saving  " + WithCommas(st.listedSaved) + " of " + WithCommas(st.listedQueued) +
                   " pictures found";
            break;
        case kFolderList:
            text = "listing the folders to walk";
            break;
        case kWalk:
            text =
                "walking folders  " + WithCommas(FoundPictures(st)) + " pictures found" + rateText;
            break;
        case kFindAnalysis:
        case kAnalyse:
        case kAnalyseDrain:
            text = "analysing  " + WithCommas(counts.analysed) + " of " + WithCommas(ToAnalyse()) +
                   " files" + rateText;
            break;
        case kReportEnd:
        case kFinished:
            text = "finishing: counting by folder and month";
            withPath = false;
            break;
        default:
            text = "stopping";
            withPath = false;
    }
    if (withPath && st.phase != kStarting && st.phase != kFolderList) {
        CString path = s_->GetScanningPath();
        if (!path.empty()) {
            std::string shown = ShowPath(path, libraryPaths_);
            size_t room = size_t(std::max(0, TerminalWidth() - 1 - int(text.size()) - 2));
            if (room >= 12) text += "  " + PathTail(shown, room);
        }
    }
    return text;
}

void IndexRun::Sample(const Status& st, Clock::time_point now, bool phaseChanged) {
    // The counts are read on the index's connection, which the scan's writer uses too:
    // a few times a second, and at each new phase.
    if (phaseChanged || Seconds(lastCount_, now) >= 0.25) {
        lastCount_ = now;
        picdex::GetRunCounts(counts);
    }
    // The analysis passes phases 7 to 9 for every folder: its rate runs on across them.
    auto group = [](int phase) {
        return phase == kNtfsPaths                                ? kNtfsRead
               : phase == kFindAnalysis || phase == kAnalyseDrain ? kAnalyse
                                                                  : phase;
    };
    if (phaseChanged && group(st.phase) != group(lastPhase_)) rate_.Reset();
    long long value = 0;
    if (st.phase == kNtfsRead || st.phase == kNtfsPaths)
        value = st.records;
    else if (st.phase == kWalk)
        value = FoundPictures(st);
    else if (st.phase >= kFindAnalysis && st.phase <= kAnalyseDrain)
        value = counts.analysed;
    rate_.Add(now, value);
}

void IndexRun::Draw(const Status& st, Clock::time_point now) {
    if (quiet_) return;
    if (line_.Active()) {
        line_.Update(Describe(st, true));
        return;
    }
    // The plain log: a status line every ten seconds and at each new phase of work.
    bool newPhase = st.phase != lastPhase_ && (st.phase == kWalk || st.phase == kAnalyse ||
                                               (st.phase == kNtfsRead && st.drive != 0));
    if (newPhase) {
        lastPlain_ = now;
        if (st.phase == kWalk) {
            Log("walking folders");
        } else if (st.phase == kAnalyse) {
            // The analysis goes folder by folder through phases 7 to 9: told once.
            if (!analysisAnnounced_) Log("analysing " + WithCommas(ToAnalyse()) + " files");
            analysisAnnounced_ = true;
        } else {
            Log(Describe(st, false));
        }
    } else if (Seconds(lastPlain_, now) >= 10.0) {
        lastPlain_ = now;
        Log(Describe(st, false));
    }
}

void IndexRun::HandleEvents(const Status& st) {
    std::deque<Reports::Event> events;
    {
        std::lock_guard<std::mutex> lock(reports_->mutex);
        events.swap(reports_->events);
    }
    for (const Reports::Event& e : events) {
        switch (e.kind) {
            case Reports::kDriveDone:
                Log(std::string("drive ") + char(e.letter) + ": read (" +
                    WithCommas(st.ntfsPictures) + " pictures on NTFS drives so far)");
                break;
            case Reports::kNtfsDone:
                Log("NTFS drives read");
                break;
            case Reports::kWalkDone:
                if (FoundPictures(st) > 0)
                    Log("folders walked: " + WithCommas(FoundPictures(st)) + " pictures found");
                else
                    Log("folders walked");
                break;
            case Reports::kRunDone:
                break;
        }
    }
}

bool IndexRun::Run(bool continueRun, long long leftToAnalyse, bool* stopped) {
    leftBefore_ = leftToAnalyse;
    if (!picdex::StartRunCounts()) PrintError("note: the files analysed cannot be counted");
    std::shared_ptr<Reports> reports = reports_;
    HostWindow window([reports](HWND, UINT msg, WPARAM wParam, LPARAM) {
        return OnMessage(reports.get(), msg, wParam);
    });
    s_->SetFolderNotifyWnd(window.Handle());
    s_->SetStatsNotifyWnd(nullptr);

    int started = continueRun ? s_->ContinueBackSearch() : s_->StartBackSearch();
    if (!started) {
        s_->SetFolderNotifyWnd(nullptr);
        PrintError("the scan could not be started");
        return false;
    }
    Log(continueRun ? "continuing the last run where it stopped" : "indexing");

    *stopped = false;
    lastPlain_ = Clock::now();
    while (true) {
        Clock::time_point now = Clock::now();
        // The library cannot tell its host that a write failed; a disk that fills up
        // is watched here, and the scan stopped before its writes start to fail.
        if (!diskFull_) {
            long long free = FreeBytes(dbPath_);
            if (free >= 0 && free < kStopBelowBytes) {
                diskFull_ = true;
                line_.Clear();
                PrintError("the disk holding the index is full (" + HumanBytes(free) +
                           " left); stopping");
            }
        }
        if ((g_stopSignal.load() || diskFull_) && !*stopped) {
            *stopped = true;
            s_->StopWork(1);
            line_.Clear();
            Log("stopping: saving what was found so far");
        }
        Status st = ReadStatus(s_);
        bool phaseChanged = st.phase != lastPhase_;
        Sample(st, now, phaseChanged);
        HandleEvents(st);
        Draw(st, now);
        lastPhase_ = st.phase;
        if (!s_->IsBusy(1)) break;
        std::unique_lock<std::mutex> lock(reports_->mutex);
        reports_->changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    // The run's last messages come from the notifier shortly after the scan's threads
    // end: wait for them a little so that the log is complete.
    bool finished = !*stopped && !s_->IsLastScanUnfinished();
    if (finished) {
        std::unique_lock<std::mutex> lock(reports_->mutex);
        reports_->changed.wait_for(lock, std::chrono::seconds(3),
                                   [&] { return reports_->runDone; });
    }
    Status st = ReadStatus(s_);
    HandleEvents(st);
    picdex::GetRunCounts(counts);
    // The last writes of a run can fill the disk between two looks.
    if (!finished && !diskFull_) {
        long long free = FreeBytes(dbPath_);
        if (free >= 0 && free < kStopBelowBytes) {
            diskFull_ = true;
            PrintError("the disk holding the index is full (" + HumanBytes(free) + " left)");
        }
    }
    line_.Clear();
    if (counts.analysed > 0) Log("files analysed: " + WithCommas(counts.analysed));
    s_->SetFolderNotifyWnd(nullptr);
    return finished;
}

// The index tells the files a run did not see by a search time older than the run's
// start, both in whole seconds: a run started in the second in which the last one
// wrote would keep what that run saw and this one does not. The index file's time is
// that of the last write, so a new run waits for the next second when it is needed.
void WaitForAFreshSecond(const std::string& dbPath) {
    struct stat st {};
    if (stat(dbPath.c_str(), &st) != 0) return;
    // At most a little over a second: a file time in the future (a clock set back)
    // must not hold the run.
    Clock::time_point giveUp = Clock::now() + std::chrono::milliseconds(1100);
    while (std::time(nullptr) <= st.st_mtim.tv_sec && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int RunIndexCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("index", kHelp, args, kOptions, &a, &done)) return done;
    bool json = a.Has("json"), libraryPaths = a.Has("library-paths"), quiet = a.Has("quiet");

    // The folders first: nothing is opened for a command that cannot run.
    std::set<CString> folders;
    for (const std::string& operand : a.operands) {
        if (!IsFolder(operand)) {
            PrintError("'" + operand + "' is not a folder");
            return kExitFailure;
        }
        CString folder;
        if (!ToLibraryFolder(operand, &folder, &error)) {
            PrintError(error);
            return kExitFailure;
        }
        folders.insert(folder);
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kCreate)) return kExitFailure;
    IndexLock lock;
    bool busy = false;
    if (!lock.TryLock(session.Path(), &busy, &error)) {
        if (busy)
            PrintError("an index run is already going on for '" + session.Path() +
                       "'; searches and statistics work meanwhile");
        else
            PrintError(error);
        return kExitFailure;
    }
    ISearchBuss* s = session.Service();

    bool scopeChanged = false;
    if (!folders.empty()) {
        ScopeLists current = ReadScope(s);
        ScopeLists wanted = ScopeForFolders(current, folders);
        CCommonFunc::GetFixedBlackList(wanted.excluded);
        if (!(wanted == current)) {
            if (!ApplyScope(s, wanted)) {
                PrintError("the folders to index could not be stored in the index");
                return kExitFailure;
            }
            scopeChanged = true;
        }
    } else if (session.Created() && !quiet) {
        PrintError("note: a new index covers every fixed drive (" + picdex::GetDriveTable() +
                   ") except system folders; 'picdex index FOLDER' indexes only FOLDER");
    }

    // What the scan will walk: the included folders and the drive roots it is not told
    // to leave out; mounts below them that it does not enter are noted once.
    if (!quiet) {
        ScopeLists scope = ReadScope(s);
        std::vector<CString> walked(scope.included.begin(), scope.included.end());
        std::set<CString> roots;
        CCommonFunc::GetAllDrivers(roots, 1, 1, 1);
        for (const CString& root : roots)
            if (!scope.excluded.count(root)) walked.push_back(root);
        NoteSkippedMounts(walked);
    }

    Clock::time_point begin = Clock::now();
    int filesBefore = picdex::CountIndexedFiles();
    // Files an interrupted run left to analyse are analysed now but are not "changed".
    long long leftBefore = std::max(0, picdex::CountFilesToAnalyse());
    bool continueRun = !a.Has("restart") && !scopeChanged && s->IsLastScanUnfinished();
    if (!continueRun) WaitForAFreshSecond(session.Path());
    CatchStopSignals();
    long long free = FreeBytes(session.Path());
    if (free >= 0 && free < kStartBelowBytes) {
        PrintError("the disk holding the index '" + session.Path() + "' is full (" +
                   HumanBytes(free) + " left); make room, then run 'picdex index' again");
        return kExitFailure;
    }
    IndexRun run(s, session.Path(), libraryPaths, quiet);
    bool stopped = false;
    bool finished = run.Run(continueRun, leftBefore, &stopped);
    double seconds = Seconds(begin, Clock::now());

    int filesAfter = picdex::CountIndexedFiles();
    long long folderCount = 0;
    std::list<_tagPathInfo> allFolders;
    try {
        s->GetFolders(CString(), 1, allFolders);
    } catch (...) {
        allFolders.clear();
    }
    for (const _tagPathInfo& f : allFolders)
        if (f.iPicCount > 0) ++folderCount;
    const picdex::RunCounts& counts = run.counts;
    long long removed = filesBefore < 0 || filesAfter < 0
                            ? 0
                            : std::max<long long>(0, filesBefore + counts.added - filesAfter);

    if (json) {
        JsonLine()
            .AddBool("finished", finished)
            .AddBool("continued", continueRun)
            .Add("pictures", std::int64_t(std::max(filesAfter, 0)))
            .Add("folders", std::int64_t(folderCount))
            .Add("new", std::int64_t(counts.added))
            .Add("changed", std::int64_t(counts.changed))
            .Add("removed", std::int64_t(removed))
            .Add("analysed", std::int64_t(counts.analysed))
            .Add("seconds", seconds)
            .Add("index", session.Path())
            .Print();
    } else {
        std::printf("%s %s pictures in %s folders: %s new, %s changed, %s removed (%s%s)\n",
                    finished ? "Indexed" : "So far", WithCommas(std::max(filesAfter, 0)).c_str(),
                    WithCommas(folderCount).c_str(), WithCommas(counts.added).c_str(),
                    WithCommas(counts.changed).c_str(), WithCommas(removed).c_str(),
                    HumanDuration(seconds).c_str(), continueRun ? ", continued run" : "");
    }
    std::fflush(stdout);
    if (run.DiskFull()) {
        PrintError("stopped; make room on the disk, then 'picdex index' continues");
        return kExitFailure;
    }
    if (stopped) {
        PrintError("stopped; the next 'picdex index' continues where this run stopped");
        return kExitFailure;
    }
    if (!finished) {
        PrintError("the scan ended before it finished; 'picdex index' continues it");
        return kExitFailure;
    }
    return kExitOk;
}

PICDEX_COMMAND("index", "bring the index up to date with the disks", RunIndexCommand);

}  // namespace cli
