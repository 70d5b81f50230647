// picdex scope: the folders the index covers (included) and leaves out (excluded).
#include <sys/stat.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "cli/scope.h"
#include "cli/session.h"
#include "picdex/common_func.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex scope [list] [OPTIONS]\n"
    "       picdex scope add FOLDER...\n"
    "       picdex scope exclude FOLDER...\n"
    "       picdex scope remove FOLDER...\n"
    "       picdex scope reset\n"
    "\n"
    "Shows or edits the folders that 'picdex index' covers. A folder's setting holds\n"
    "for everything below it, and a deeper folder's setting wins: exclude a whole drive\n"
    "and include one folder on it, and only that folder is indexed.\n"
    "\n"
    "  list       the included and excluded folders, one per line (the default)\n"
    "  add        include folders\n"
    "  exclude    exclude folders; what the index holds below them is removed\n"
    "  remove     drop folders' own settings (they follow the folder above again)\n"
    "  reset      back to the default: every fixed drive except system, program and\n"
    "             temporary folders\n"
    "\n"
    "'picdex index FOLDER...' replaces the scope with exactly those folders. Changes\n"
    "take effect with the next run; --restart makes 'picdex index' start one at once\n"
    "when a stopped run is waiting to be continued.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             list as JSON objects: path, setting (included or excluded) and\n"
    "                     fixed (true for folders that are always excluded)\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},
    {"json", 0, false},
    {"library-paths", 0, false},
    {"help", 'h', false},
};

int List(ISearchBuss* s, bool json, bool libraryPaths) {
    ScopeLists scope = ReadScope(s);
    std::set<CString> fixed;
    CCommonFunc::GetFixedBlackList(fixed);
    auto print = [&](const CString& folder, const char* setting) {
        bool isFixed = fixed.count(folder) != 0;
        std::string shown = ShowPath(folder, libraryPaths);
        if (json) {
            JsonLine().Add("path", shown).Add("setting", setting).AddBool("fixed", isFixed).Print();
        } else {
            std::printf("%s\t%s%s\n", setting, shown.c_str(), isFixed ? "\t(always)" : "");
        }
    };
    for (const CString& f : scope.included)
        print(f, "included");
    for (const CString& f : scope.excluded)
        print(f, "excluded");
    return kExitOk;
}

}  // namespace

int RunScopeCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("scope", kHelp, args, kOptions, &a, &done)) return done;
    std::string action = a.operands.empty() ? "list" : a.operands[0];
    std::vector<std::string> operands(
        a.operands.size() > 1 ? a.operands.begin() + 1 : a.operands.end(), a.operands.end());
    bool takesFolders = action == "add" || action == "exclude" || action == "remove";
    if (action != "list" && action != "reset" && !takesFolders)
        return UsageError("scope", "unknown action '" + action + "'");
    if (takesFolders && operands.empty())
        return UsageError("scope", "'" + action + "' needs a FOLDER");
    if (!takesFolders && !operands.empty())
        return UsageError("scope", "'" + action + "' takes no FOLDER");

    std::vector<CString> folders;
    for (const std::string& operand : operands) {
        CString folder;
        if (!ToLibraryFolder(operand, &folder, &error)) {
            PrintError(error);
            return kExitFailure;
        }
        // A folder that is not there (any more) can still be excluded or forgotten;
        // including one makes sense only when it exists.
        struct stat st {};
        if (action == "add" &&
            (stat(AbsoluteHostPath(operand).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
            PrintError("'" + operand + "' is not a folder");
            return kExitFailure;
        }
        folders.push_back(folder);
    }

    Session session;
    if (!session.Open(a.Value("db"), action == "list" ? IndexUse::kRead : IndexUse::kCreate))
        return kExitFailure;
    ISearchBuss* s = session.Service();
    if (action == "list") return List(s, a.Has("json"), a.Has("library-paths"));

    if (action == "reset") {
        if (!ApplyScope(s, DefaultScope())) {
            PrintError("the default scope could not be stored");
            return kExitFailure;
        }
        return kExitOk;
    }

    int status = kExitOk;
    ScopeLists scope = ReadScope(s);
    std::set<CString> fixed;
    CCommonFunc::GetFixedBlackList(fixed);
    for (size_t i = 0; i < folders.size(); ++i) {
        const CString& f = folders[i];
        const std::string& shown = operands[i];
        bool ok = true;
        if (action == "add") {
            // An excluded folder becomes included: its exclusion goes first, so that
            // the stored setting is the new one.
            if (scope.excluded.count(f)) ok = s->RemoveBlackFolder(f);
            ok = ok && s->AddWhiteFolder(f);
        } else if (action == "exclude") {
            if (scope.included.count(f)) ok = s->RemoveWhiteFolder(f);
            ok = ok && s->AddBlackFolder(f);
        } else {
            if (fixed.count(f)) {
                PrintError("'" + shown + "' is always excluded");
                status = kExitFailure;
                continue;
            }
            bool held = scope.included.count(f) || scope.excluded.count(f);
            if (!held) {
                PrintError("'" + shown + "' has no setting of its own");
                status = kExitFailure;
                continue;
            }
            if (scope.included.count(f)) ok = s->RemoveWhiteFolder(f) && ok;
            if (scope.excluded.count(f)) ok = s->RemoveBlackFolder(f) && ok;
        }
        if (!ok) {
            PrintError("the index refused to " + action + " '" + shown + "'");
            status = kExitFailure;
        }
        scope = ReadScope(s);
    }
    return status;
}

PICDEX_COMMAND("scope", "show or edit the folders the index covers", RunScopeCommand);

}  // namespace cli
