// picdex forget: removes files or folders from the index (never from the disk).
#include <sys/stat.h>

#include <cstdio>
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
    "Usage: picdex forget [OPTIONS] PATH...\n"
    "\n"
    "Removes pictures from the index: a file, or a folder with everything below it.\n"
    "Nothing on disk is touched. What still lies in the scope comes back with the next\n"
    "'picdex index'; 'picdex scope exclude PATH' keeps it out for good.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 when every PATH was forgotten, 1 when one was not in the index or\n"
    "could not be removed, 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},
    {"help", 'h', false},
};

}  // namespace

int RunForgetCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("forget", kHelp, args, kOptions, &a, &done)) return done;
    if (a.operands.empty()) return UsageError("forget", "no PATH given");

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    int status = kExitOk;
    bool stillOnDisk = false;
    for (const std::string& operand : a.operands) {
        CString path;
        if (!ToLibrary(operand, &path, &error)) {
            PrintError(error);
            status = kExitFailure;
            continue;
        }
        CString folder = path;
        if (folder.empty() || folder.back() != L'\\') folder += L'\\';
        bool ok;
        if (IsIndexedFolder(s, folder)) {
            ok = ForgetFolder(s, folder);
        } else if (IsIndexedFile(s, path)) {
            ok = s->DeleteFile(path, 1) != 0;
        } else {
            PrintError("'" + operand + "' is not in the index");
            status = kExitFailure;
            continue;
        }
        if (!ok) {
            PrintError("the index could not forget '" + operand + "'");
            status = kExitFailure;
            continue;
        }
        struct stat st {};
        if (stat(AbsoluteHostPath(operand).c_str(), &st) == 0) stillOnDisk = true;
    }
    if (stillOnDisk)
        PrintError(
            "note: what is still on disk comes back with the next 'picdex index' "
            "unless excluded ('picdex scope exclude PATH')");
    return status;
}

PICDEX_COMMAND("forget", "remove files or folders from the index (not from disk)",
               RunForgetCommand);

}  // namespace cli
