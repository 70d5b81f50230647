// picdex history: the texts of past quick searches, with how often each was counted,
// and emptying that history.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex history [OPTIONS] [PREFIX]\n"
    "       picdex history --clear\n"
    "\n"
    "Lists the texts of past quick searches ('picdex search TEXT') that begin with\n"
    "PREFIX (any letter case), in text order, each with the number of times it was\n"
    "counted (a search that delivers many results in batches counts once per batch).\n"
    "Each line is the count and the text, separated by a tab. Wildcards are shown as\n"
    "'picdex search' takes them: '*' any run of characters, '_' one character.\n"
    "\n"
    "Options:\n"
    "  --limit N          at most N texts\n"
    "  --clear            forget every past search\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             one JSON object per text: {\"text\": ..., \"count\": N}\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"limit", 0, true}, {"clear", 0, false},  {"db", 0, true},
    {"json", 0, false}, {"help", 'h', false},
};

// The index keeps a search's text as the search compares it: '*' as '%', the
// one-character wildcards ('?', and '_' and '%' as 'picdex search' takes them) as '_',
// and a literal '_' or '%' after a backslash.
CString StoredForm(const std::string& text) {
    CString out;
    for (wchar_t c : picdex::Utf8ToText(text)) {
        if (c == L'*')
            out += L'%';
        else if (c == L'?' || c == L'%')
            out += L'_';
        else
            out += c;
    }
    return out;
}

std::string ShownForm(const CString& stored) {
    CString out;
    for (size_t i = 0; i < stored.size(); ++i) {
        wchar_t c = stored[i];
        if (c == L'\\' && i + 1 < stored.size() && (stored[i + 1] == L'_' || stored[i + 1] == L'%'))
            out += stored[++i];
        else if (c == L'%')
            out += L'*';
        else
            out += c;
    }
    return picdex::TextToUtf8(out);
}

}  // namespace

int RunHistoryCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    int done = kExitOk;
    if (!ParseCommandArgs("history", kHelp, args, kOptions, &a, &done)) return done;
    if (a.operands.size() > 1) return UsageError("history", "give one PREFIX");
    bool clear = a.Has("clear");
    if (clear && (!a.operands.empty() || a.Has("limit")))
        return UsageError("history", "--clear empties the whole history; it takes no PREFIX");
    int limit = INT_MAX;
    if (a.Has("limit")) {
        const std::string text = a.Value("limit");
        char* end = nullptr;
        long n = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || n < 1 || n > INT_MAX)
            return UsageError("history", "--limit: '" + text + "' is not a count of 1 or more");
        limit = int(n);
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    if (clear) {
        if (!s->ClearSearchHistory()) {
            PrintError("the index could not forget its searches");
            return kExitFailure;
        }
        return kExitOk;
    }
    // The index's own prefix lookup starts at the prefix's place in case-sensitive
    // order and stops at the first text that does not match, so "img" would miss
    // "IMG_0042": take the whole history (it is small) and match here.
    std::map<CString, int> texts;
    s->GetSearchHistory(texts, CString(), INT_MAX);
    CString prefix = a.operands.empty() ? CString() : StoredForm(a.operands[0]);
    bool json = a.Has("json");
    for (const auto& [stored, count] : texts) {
        if (stored.size() < prefix.size() ||
            !std::equal(prefix.begin(), prefix.end(), stored.begin(),
                        [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); }))
            continue;
        if (limit-- == 0) break;
        std::string text = ShownForm(stored);
        if (json)
            JsonLine().Add("text", text).Add("count", count).Print();
        else
            std::printf("%d\t%s\n", count, text.c_str());
    }
    return kExitOk;
}

PICDEX_COMMAND("history", "list or clear the texts of past searches", RunHistoryCommand);

}  // namespace cli
