// picdex mv: moves or renames a file or folder on disk and in the index together.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/index_edits.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/common_func.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex mv [OPTIONS] OLD NEW\n"
    "\n"
    "Moves or renames a file or folder on disk, and its pictures in the index with it,\n"
    "so that nothing has to be analysed again. When NEW is an existing folder, OLD is\n"
    "moved into it. An existing file or folder is never overwritten, and OLD and NEW\n"
    "must be on one file system.\n"
    "\n"
    "When the new place is not in the index yet (its folder was never indexed), the\n"
    "old entries are forgotten and the next 'picdex index' finds the pictures there if\n"
    "the scope covers it.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success, 1 when the move or the index update failed (the\n"
    "message says which), 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},
    {"help", 'h', false},
};

CString AsFolder(CString path) {
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path;
}

}  // namespace

int RunMvCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("mv", kHelp, args, kOptions, &a, &done)) return done;
    if (a.operands.size() != 2) return UsageError("mv", "give OLD and NEW");

    std::string oldHost = AbsoluteHostPath(a.operands[0]);
    std::string newHost = AbsoluteHostPath(a.operands[1]);
    struct stat oldSt {};
    if (lstat(oldHost.c_str(), &oldSt) != 0) {
        PrintError("'" + a.operands[0] + "': " + std::strerror(errno));
        return kExitFailure;
    }
    struct stat newSt {};
    if (stat(newHost.c_str(), &newSt) == 0 && S_ISDIR(newSt.st_mode))
        newHost =
            AbsoluteHostPath(newHost + "/" + std::filesystem::path(oldHost).filename().string());
    if (lstat(newHost.c_str(), &newSt) == 0) {
        PrintError("'" + newHost + "' exists already; picdex mv does not overwrite");
        return kExitFailure;
    }
    bool isFolder = S_ISDIR(oldSt.st_mode);
    if (isFolder && (newHost + "/").rfind(oldHost + "/", 0) == 0) {
        PrintError("cannot move '" + oldHost + "' into itself");
        return kExitFailure;
    }
    CString oldPath, newPath;
    if (!ToLibrary(oldHost, &oldPath, &error) || !ToLibrary(newHost, &newPath, &error)) {
        PrintError(error);
        return kExitFailure;
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    bool indexed = isFolder ? IsIndexedFolder(s, AsFolder(oldPath)) : IsIndexedFile(s, oldPath);

    // Never over something that appeared meanwhile (file systems that cannot promise
    // that get the plain rename, after the check above).
    int moved = renameat2(AT_FDCWD, oldHost.c_str(), AT_FDCWD, newHost.c_str(), RENAME_NOREPLACE);
    if (moved != 0 && errno == EINVAL) moved = std::rename(oldHost.c_str(), newHost.c_str());
    if (moved != 0) {
        int e = errno;
        PrintError(
            "cannot move '" + oldHost + "' to '" + newHost + "': " +
            (e == EXDEV ? std::string("they are on different file systems") : std::strerror(e)));
        return kExitFailure;
    }
    if (!indexed) return kExitOk;

    bool ok;
    bool followed = true;  // the index holds the pictures at the new place
    if (isFolder) {
        CString from = AsFolder(oldPath), to = AsFolder(newPath);
        if (CanRenameFolder(s, from, to)) {
            ok = s->RenameFolder(from, to) != 0;
        } else {
            followed = false;
            ok = ForgetFolder(s, from);
        }
    } else {
        CString toFolder = CCommonFunc::GetParentFolder(newPath);
        if (IsIndexedFolder(s, toFolder)) {
            // A row left behind for a file that was deleted there would collide.
            if (IsIndexedFile(s, newPath)) s->DeleteFile(newPath, 1);
            ok = s->RenameFile(oldPath, newPath) != 0;
        } else {
            followed = false;
            ok = s->DeleteFile(oldPath, 1) != 0;
        }
    }
    if (!ok) {
        PrintError(
            "moved on disk, but the index could not follow; the next 'picdex index' "
            "brings it up to date");
        return kExitFailure;
    }
    if (!followed)
        PrintError(
            "note: the new place is not in the index yet; the next 'picdex index' "
            "finds the pictures there if the scope covers it");
    return kExitOk;
}

PICDEX_COMMAND("mv", "move or rename a file or folder on disk and in the index", RunMvCommand);

}  // namespace cli
