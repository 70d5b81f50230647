// picdex search: the quick search (one text in names, captions, cameras, dates and GPS
// numbers) and the field search (conditions on named fields).
#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/fields.h"
#include "cli/host_window.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/host_messages.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex search [OPTIONS] TEXT...\n"
    "       picdex search [OPTIONS] --where EXPR... [--path TEXT]...\n"
    "       picdex search --fields\n"
    "\n"
    "Finds pictures in the index and prints their paths, one per line.\n"
    "\n"
    "The quick search looks for TEXT (the words joined by blanks) in file and folder\n"
    "names, IPTC titles, keywords, cities and countries, camera makers and models; a\n"
    "year or date (2019, 2019-05) also finds what was taken or made then, and a number\n"
    "also GPS values. '*' and '?' are wildcards; letter case does not matter.\n"
    "\n"
    "The field search finds the pictures for which every EXPR holds: NAME OP VALUE with\n"
    "OP one of = ~ (contains) > >= < <=, for example\n"
    "  picdex search --where iso>=400 'make~canon' taken>=2019-05-01 keyword=beach\n"
    "Quote expressions with < or > for the shell. 'picdex search --fields' lists the\n"
    "names. A date stands for every second it covers: taken=2019-05 is all of May 2019.\n"
    "--path keeps the pictures whose path contains one of the texts given.\n"
    "\n"
    "Options:\n"
    "  --in LIST          quick search only in these (comma-separated): names, iptc,\n"
    "                     camera, gps (default: all)\n"
    "  --where            the words are field conditions (EXPR), not a quick text\n"
    "  --path TEXT        field search: the path must contain TEXT (repeatable; one of\n"
    "                     them must match); a host path such as ~/Pictures/2019 works\n"
    "  --verify           leave out pictures that are no longer on disk as indexed\n"
    "  --count            print only the number of pictures found\n"
    "  --fields           list the field names for --where\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             one JSON object per picture: {\"path\": ...}\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -h, --help         this text\n"
    "\n"
    "A value the index cannot search for (a single quote, an unknown field, a malformed\n"
    "number or date) is refused with the reason. Exit status: 0 on success (also when\n"
    "nothing is found), 1 on failure, 2 on a usage error or a refused condition.\n";

const std::vector<OptionSpec> kOptions = {
    {"in", 0, true},      {"where", 0, false}, {"path", 0, true},
    {"verify", 0, false}, {"count", 0, false}, {"fields", 0, false},
    {"db", 0, true},      {"json", 0, false},  {"library-paths", 0, false},
    {"help", 'h', false},
};

// The results as the library hands them over, on its notifier thread; shared with the
// window procedure so that a late call never touches a finished search.
struct Results {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<CString> paths;
};

bool ParseScope(const std::string& list, int* scope, std::string* error) {
    *scope = 0;
    size_t from = 0;
    while (from <= list.size()) {
        size_t comma = list.find(',', from);
        std::string word =
            list.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        if (word == "names")
            *scope |= kScopeNames;
        else if (word == "iptc")
            *scope |= kScopeIptc;
        else if (word == "camera")
            *scope |= kScopeCamera;
        else if (word == "gps")
            *scope |= kScopeGps;
        else if (!word.empty()) {
            *error = "--in: unknown part '" + word + "' (names, iptc, camera, gps)";
            return false;
        }
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (*scope == 0) {
        *error = "--in: name at least one of names, iptc, camera, gps";
        return false;
    }
    return true;
}

// The quick text as the search itself rewrites it before building its statement ('?'
// and '*' become wildcards), so that a count agrees with the search.
CString WithWildcards(const CString& text) {
    CString out;
    for (wchar_t c : text) {
        if (c == L'_' || c == L'%') {
            out += L'\\';
            out += c;
        } else if (c == L'?') {
            out += L'_';
        } else if (c == L'*') {
            out += L'%';
        } else {
            out += c;
        }
    }
    return out;
}

int ListFields(bool json) {
    for (const FieldName& f : FieldNames()) {
        if (json) {
            JsonLine()
                .Add("name", f.name)
                .Add("type", KindWord(f.kind))
                .Add("description", f.what)
                .Print();
        } else {
            std::printf("%-12s %-8s %s\n", f.name, KindWord(f.kind), f.what);
        }
    }
    return kExitOk;
}

bool OnDisk(const CString& path) {
    std::string host;
    struct stat st {};
    return picdex::LibraryToHostPath(path, &host) && stat(host.c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

}  // namespace

int RunSearchCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    int done = kExitOk;
    if (!ParseCommandArgs("search", kHelp, args, kOptions, &a, &done)) return done;
    bool json = a.Has("json"), libraryPaths = a.Has("library-paths");
    if (a.Has("fields")) {
        if (!a.operands.empty() || a.Has("where"))
            return UsageError("search", "--fields takes no other arguments");
        return ListFields(json);
    }
    bool fieldSearch = a.Has("where") || a.Has("path");
    if (fieldSearch && a.Has("in")) return UsageError("search", "--in is for the quick search");
    bool verify = a.Has("verify"), countOnly = a.Has("count");

    _tagQuickSearch quick;
    _tagFieldSearch field;
    if (fieldSearch) {
        if (!a.operands.empty() && !a.Has("where"))
            return UsageError("search", "'" + a.operands[0] +
                                            "': conditions follow --where (or leave out "
                                            "--path for a quick search)");
        for (const std::string& expr : a.operands)
            if (!ParseWhere(expr, &field.lstConditions, &error)) return UsageError("search", error);
        for (const std::string& text : a.Values("path")) {
            CString library;
            if (!PathText(text, &library, &error)) return UsageError("search", error);
            field.setPathTexts.insert(library);
        }
        if (field.lstConditions.empty() && field.setPathTexts.empty())
            return UsageError("search", "--where needs at least one condition");
        field.bVerify = verify;
    } else {
        if (a.operands.empty()) return UsageError("search", "nothing to search for");
        std::string text;
        for (const std::string& word : a.operands)
            text += (text.empty() ? "" : " ") + word;
        if (text.find_first_not_of(" \t") == std::string::npos)
            return UsageError("search", "nothing to search for");
        if (!QuoteFree(text, &error)) return UsageError("search", error);
        // The search keeps '_' and '%' as literal characters by putting a backslash
        // before them, which its statements then compare as a backslash: a name with an
        // underscore would never be found. Asked for as the one-character wildcard,
        // they match themselves.
        for (char& c : text)
            if (c == '_' || c == '%') c = '?';
        quick.strText = picdex::Utf8ToText(text);
        quick.iScope = kScopeAll;
        if (a.Has("in") && !ParseScope(a.Value("in"), &quick.iScope, &error))
            return UsageError("search", error);
        quick.bVerify = verify;
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();

    if (countOnly && !fieldSearch && !verify) {
        _tagQuickSearch counted = quick;
        counted.strText = WithWildcards(quick.strText);
        int n = s->CountQuickSearch(&counted);
        if (json)
            JsonLine().Add("count", n).Print();
        else
            std::printf("%d\n", n);
        return kExitOk;
    }

    auto results = std::make_shared<Results>();
    HostWindow window([results](HWND, UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg != WM_PD_SEARCH_RESULTS) return 0;
        auto* set = reinterpret_cast<CSearchResultSet*>(wParam);
        std::lock_guard<std::mutex> lock(results->mutex);
        results->paths.insert(results->paths.end(), set->begin(), set->end());
        set->clear();  // all taken: the library offers nothing again
        results->arrived.notify_all();
        return 0;
    });
    quick.hWnd = field.hWnd = window.Handle();
    int started = fieldSearch ? s->StartFieldSearch(&field) : s->StartQuickSearch(&quick);
    if (!started) {
        PrintError("the index is busy with another search");
        return kExitFailure;
    }

    long long found = 0;
    std::string line;
    auto print = [&](std::vector<CString>& batch) {
        for (const CString& path : batch) {
            if (verify && !OnDisk(path)) continue;
            ++found;
            if (countOnly) continue;
            std::string shown = ShowPath(path, libraryPaths);
            if (json) {
                JsonLine().Add("path", shown).Print();
            } else {
                line.assign(shown).push_back('\n');
                std::fwrite(line.data(), 1, line.size(), stdout);
            }
        }
        batch.clear();
    };
    std::vector<CString> batch;
    while (true) {
        bool busy = s->IsBusy(0);
        {
            std::unique_lock<std::mutex> lock(results->mutex);
            if (busy && results->paths.empty())
                results->arrived.wait_for(lock, std::chrono::milliseconds(50));
            batch.swap(results->paths);
        }
        print(batch);
        // The search is over when the library neither runs it nor holds results for us;
        // whatever it delivered before that is in `results` already.
        if (!busy) {
            std::lock_guard<std::mutex> lock(results->mutex);
            if (results->paths.empty()) break;
        }
    }
    // The window goes with this function: the library sends nothing to it any more.
    s->SetResultNotifyWnd(nullptr);
    if (countOnly) {
        if (json)
            JsonLine().Add("count", std::int64_t(found)).Print();
        else
            std::printf("%lld\n", found);
    }
    return kExitOk;
}

PICDEX_COMMAND("search", "find pictures by text or by field conditions", RunSearchCommand);

}  // namespace cli
