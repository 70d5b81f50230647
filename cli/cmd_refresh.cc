// picdex refresh: marks indexed files to be analysed again by the next index run, for
// pictures whose contents changed while their size and time stayed the same (a
// metadata editor that keeps the file time, a restored backup).
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/index_edits.h"
#include "cli/output.h"
#include "cli/session.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex refresh [OPTIONS] PATH...\n"
    "\n"
    "Marks indexed pictures to be analysed again by the next 'picdex index': a file,\n"
    "or a folder with every picture below it. 'picdex index' analyses new files and\n"
    "files whose size or time changed by itself; refresh is for pictures whose\n"
    "contents changed while both stayed the same. Their digests for 'picdex dupes' are\n"
    "made again too.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 when every PATH was marked, 1 when one was not in the index or the\n"
    "index refused, 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},
    {"help", 'h', false},
};

}  // namespace

int RunRefreshCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("refresh", kHelp, args, kOptions, &a, &done)) return done;
    if (a.operands.empty()) return UsageError("refresh", "no PATH given");

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    int status = kExitOk;
    long long marked = 0;
    for (const std::string& operand : a.operands) {
        CString path;
        if (!ToLibrary(operand, &path, &error)) {
            PrintError(error);
            status = kExitFailure;
            continue;
        }
        CString folder = path;
        if (folder.empty() || folder.back() != L'\\') folder += L'\\';
        std::set<CString> files;
        if (IsIndexedFolder(s, folder)) {
            s->GetFolderFiles(folder, 1, files);
        } else if (IsIndexedFile(s, path)) {
            files.insert(path);
        } else {
            PrintError("'" + operand + "' is not in the index");
            status = kExitFailure;
            continue;
        }
        bool ok = true;
        for (const CString& f : files) {
            // The index compares paths without regard to letter case: mark only what
            // lies in this very folder.
            if (f.compare(0, folder.size(), folder) != 0 && f != path) continue;
            if (s->InvalidateFile(f))
                ++marked;
            else
                ok = false;
        }
        if (!ok) {
            PrintError("the index could not mark every picture of '" + operand + "'");
            status = kExitFailure;
        }
    }
    if (marked > 0)
        PrintError("note: " + WithCommas(marked) + (marked == 1 ? " picture" : " pictures") +
                   " will be analysed again by the next 'picdex index'");
    return status;
}

PICDEX_COMMAND("refresh", "mark pictures to be analysed again by the next index run",
               RunRefreshCommand);

}  // namespace cli
