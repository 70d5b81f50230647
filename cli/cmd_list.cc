// picdex list: the picture files of drives, found the way the scan finds them.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "picdex/drive_list.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex list [--json] [--host-paths] DRIVE...\n"
    "\n"
    "Lists the picture files of each drive (a letter: C, C: or C:\\) the way the scan\n"
    "finds them: an NTFS drive whose device can be read through its master file table,\n"
    "every other drive folder by folder. One full path per line, in the library's form\n"
    "(C:\\Photos\\2008\\a.jpg).\n"
    "\n"
    "Options:\n"
    "  --json        one JSON object per picture: path, size (bytes) and modified (the\n"
    "                last-write time, UTC)\n"
    "  --host-paths  paths in the host's form (/Photos/2008/a.jpg)\n"
    "  -h, --help    this text\n"
    "\n"
    "Drives come from the drive table (PICDEX_DRIVES). Exit status: 0 when every drive\n"
    "was listed, 1 when one could not be (unknown drive, unreadable device, not NTFS\n"
    "although the table says so), 2 on a usage error.\n";

struct Output {
    bool json = false;
    bool hostPaths = false;
    std::string line;  // reused for every picture
};

std::string UtcText(std::int64_t seconds) {
    std::time_t t = std::time_t(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return std::string();
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

void PrintPicture(const picdex::DrivePicture& pic, void* context) {
    Output& out = *static_cast<Output*>(context);
    CString path = *pic.folder + *pic.name;
    std::string shown = ShowPath(path, !out.hostPaths);
    if (out.json) {
        JsonLine()
            .Add("path", shown)
            .Add("size", std::int64_t(pic.size))
            .Add("modified", UtcText(pic.lastWrite))
            .Print();
        return;
    }
    out.line.assign(shown).push_back('\n');
    std::fwrite(out.line.data(), 1, out.line.size(), stdout);
}

std::string WithCommas(long n) {
    std::string s = std::to_string(n);
    for (int i = int(s.size()) - 3; i > 0; i -= 3)
        s.insert(size_t(i), ",");
    return s;
}

std::string ProgressText(char letter, const picdex::DriveListProgress& p) {
    std::string d = std::string(1, letter) + ": ";
    if (p.route == picdex::DriveRoute::kFolderWalk)
        return d + "walking folders: " + WithCommas(p.foldersWalked) + " folders, " +
               WithCommas(p.picturesFound) + " pictures";
    if (p.buildingPaths)
        return d + "building folder paths: " + WithCommas(p.picturesFound) + " pictures listed";
    return d + "reading the master file table: " + WithCommas(p.recordsSeen) + " records, " +
           WithCommas(p.picturesFound) + " pictures";
}

// A drive operand: a letter, alone or followed by ':' and maybe a backslash or slash.
bool DriveLetter(const std::string& s, char* letter) {
    if (s.empty() || s.size() > 3) return false;
    char c = s[0];
    if (c >= 'a' && c <= 'z') c = char(c - 32);
    if (c < 'A' || c > 'Z') return false;
    if (s.size() >= 2 && s[1] != ':') return false;
    if (s.size() == 3 && s[2] != '\\' && s[2] != '/') return false;
    *letter = c;
    return true;
}

int RunList(const std::vector<std::string>& args) {
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, {{"json", 0, false}, {"host-paths", 0, false}, {"help", 'h', false}},
                   &parsed, &error))
        return UsageError("list", error);
    if (parsed.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (parsed.operands.empty()) return UsageError("list", "no drive given");
    std::vector<char> letters;
    for (const std::string& operand : parsed.operands) {
        char letter = 0;
        if (!DriveLetter(operand, &letter))
            return UsageError("list", "'" + operand + "' is not a drive letter (C, C: or C:\\)");
        letters.push_back(letter);
    }

    Output out;
    out.json = parsed.Has("json");
    out.hostPaths = parsed.Has("host-paths");
    int status = kExitOk;
    ProgressLine progress;
    for (char letter : letters) {
        picdex::DriveLister lister;
        if (!lister.Open(wchar_t(letter), &error)) {
            progress.Log("picdex: " + error);
            status = kExitFailure;
            continue;
        }
        if (!lister.Note().empty()) progress.Log("picdex: " + lister.Note());
        if (!progress.Active()) {
            lister.Run(PrintPicture, &out);
            continue;
        }
        // On a terminal the listing runs beside a progress line that is redrawn while
        // it goes.
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        std::thread worker([&] {
            lister.Run(PrintPicture, &out);
            std::lock_guard<std::mutex> g(lock);
            finished = true;
            done.notify_all();
        });
        {
            std::unique_lock<std::mutex> g(lock);
            while (!finished) {
                g.unlock();
                progress.Update(ProgressText(letter, lister.Progress()));
                g.lock();
                done.wait_for(g, std::chrono::milliseconds(100), [&] { return finished; });
            }
        }
        worker.join();
        progress.Clear();
    }
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        PrintError("list: could not write the listing");
        return kExitFailure;
    }
    return status;
}

}  // namespace
}  // namespace cli

PICDEX_COMMAND("list", "list the pictures of drives the way the scan finds them", cli::RunList);
