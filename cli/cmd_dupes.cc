// picdex dupes: groups of identical files. The scan stores no digests, so the files
// that can have a twin (their size is shared by another indexed file) are digested
// first and their digests stored in the index; then the index's duplicate lookup
// gives the groups.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/common_func.h"
#include "picdex/host_index.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex dupes [OPTIONS]\n"
    "\n"
    "Lists groups of identical files among the indexed pictures, the groups that waste\n"
    "the most space first. Files that share their size with another file are digested\n"
    "(MD5) first; the digests are kept in the index, so a later run digests only new\n"
    "and changed files. A file that changed since it was indexed is left out until\n"
    "'picdex index' has seen it again.\n"
    "\n"
    "Each group is a line with the number of files, their size and the space the\n"
    "copies take, then the files one per line, then an empty line.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             one JSON object per group: md5, size, count, wasted (bytes)\n"
    "                     and paths\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success (also when there are no duplicates), 1 on failure, 2 on\n"
    "a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"db", 0, true},
    {"json", 0, false},
    {"library-paths", 0, false},
    {"help", 'h', false},
};

bool IsDigest(const CString& md5) {
    if (md5.size() != 32) return false;
    for (wchar_t c : md5)
        if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f')))
            return false;
    return true;
}

struct Group {
    CString md5;
    long long size = 0;
    std::vector<CString> paths;
    long long Wasted() const { return size * (long long)(paths.size() - 1); }
};

// Digests the files that need one; false when the index refused to store them.
bool DigestCandidates(const std::vector<picdex::IndexedFile>& files, long long* skipped) {
    // Files still on disk as indexed, per size; a size left with one file needs no digest.
    std::map<long long, std::vector<const picdex::IndexedFile*>> bySize;
    for (const picdex::IndexedFile& f : files) {
        std::string host;
        struct stat st {};
        if (!picdex::LibraryToHostPath(f.path, &host) || stat(host.c_str(), &st) != 0 ||
            !S_ISREG(st.st_mode) || (long long)st.st_size != f.size) {
            ++*skipped;
            continue;
        }
        bySize[f.size].push_back(&f);
    }
    std::vector<const picdex::IndexedFile*> todo;
    long long todoBytes = 0;
    for (const auto& [size, group] : bySize) {
        if (group.size() < 2) continue;
        for (const picdex::IndexedFile* f : group) {
            if (IsDigest(f->md5)) continue;
            todo.push_back(f);
            todoBytes += size;
        }
    }
    if (todo.empty()) return true;

    ProgressLine progress;
    std::vector<std::pair<CString, CString>> batch;
    long long doneBytes = 0;
    size_t done = 0;
    auto flush = [&]() {
        if (batch.empty()) return true;
        bool ok = picdex::SetFileDigests(batch) >= 0;
        batch.clear();
        return ok;
    };
    auto begin = std::chrono::steady_clock::now();
    for (const picdex::IndexedFile* f : todo) {
        progress.Update("digesting " + WithCommas((long long)done) + " of " +
                        WithCommas((long long)todo.size()) + " files (" + HumanBytes(doneBytes) +
                        " of " + HumanBytes(todoBytes) + ")");
        CString digest;
        if (CCommonFunc::GetMD5(f->path, digest)) {
            batch.emplace_back(f->path, digest);
        } else {
            ++*skipped;  // unreadable now
        }
        ++done;
        doneBytes += f->size;
        // Stored every few hundred files, so that an interrupted run keeps its work.
        if (batch.size() >= 256 && !flush()) return false;
    }
    if (!flush()) return false;
    progress.Clear();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (!progress.Active() && seconds >= 1.0)
        PrintError("digested " + WithCommas((long long)todo.size()) + " files (" +
                   HumanBytes(todoBytes) + ") in " + HumanDuration(seconds));
    return true;
}

}  // namespace

int RunDupesCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    int done = kExitOk;
    if (!ParseCommandArgs("dupes", kHelp, args, kOptions, &a, &done)) return done;
    if (!a.operands.empty()) return UsageError("dupes", "takes no arguments");
    bool json = a.Has("json"), libraryPaths = a.Has("library-paths");

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();

    std::vector<picdex::IndexedFile> files;
    if (!picdex::GetFilesOfSharedSize(files)) {
        PrintError("the index could not list the files to compare");
        return kExitFailure;
    }
    long long skipped = 0;
    if (!DigestCandidates(files, &skipped)) {
        PrintError("the digests could not be stored in the index");
        return kExitFailure;
    }
    std::map<CString, long long> sizes;
    for (const picdex::IndexedFile& f : files)
        sizes[f.path] = f.size;

    std::map<CString, std::set<CString>> byDigest;
    s->GetDuplicateFiles(byDigest);
    std::vector<Group> groups;
    for (auto& [md5, paths] : byDigest) {
        // "" (to analyse) and "0" (analysed without a digest) are markers, not contents.
        if (!IsDigest(md5) || paths.size() < 2) continue;
        Group g;
        g.md5 = md5;
        g.paths.assign(paths.begin(), paths.end());
        auto it = sizes.find(g.paths.front());
        g.size = it != sizes.end() ? it->second : 0;
        groups.push_back(std::move(g));
    }
    std::sort(groups.begin(), groups.end(), [](const Group& x, const Group& y) {
        if (x.Wasted() != y.Wasted()) return x.Wasted() > y.Wasted();
        return x.md5 < y.md5;
    });

    long long wasted = 0, copies = 0;
    for (const Group& g : groups) {
        wasted += g.Wasted();
        copies += (long long)g.paths.size();
        if (json) {
            std::string list = "[";
            for (const CString& p : g.paths)
                list += (list.size() > 1 ? "," : "") + JsonString(ShowPath(p, libraryPaths));
            list += "]";
            JsonLine()
                .Add("md5", picdex::TextToUtf8(g.md5))
                .Add("size", std::int64_t(g.size))
                .Add("count", std::int64_t(g.paths.size()))
                .Add("wasted", std::int64_t(g.Wasted()))
                .AddRaw("paths", list)
                .Print();
            continue;
        }
        std::printf("%zu files of %s, %s wasted\n", g.paths.size(), HumanBytes(g.size).c_str(),
                    HumanBytes(g.Wasted()).c_str());
        for (const CString& p : g.paths)
            std::printf("%s\n", ShowPath(p, libraryPaths).c_str());
        std::printf("\n");
    }
    std::fflush(stdout);
    PrintError(groups.empty()
                   ? std::string("no identical files")
                   : WithCommas((long long)groups.size()) + " groups, " + WithCommas(copies) +
                         " files, " + HumanBytes(wasted) + " wasted");
    if (skipped > 0)
        PrintError(WithCommas(skipped) +
                   " files changed or vanished since they were indexed and were left out; "
                   "'picdex index' brings the index up to date");
    return kExitOk;
}

PICDEX_COMMAND("dupes", "list groups of identical files", RunDupesCommand);

}  // namespace cli
