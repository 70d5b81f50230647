// The scan scope as the host edits it: the stored included and excluded folders (the
// library's folder filters; a deeper folder's filter wins over a shallower one's).
#pragma once

#include <set>

#include "picdex/search_buss.h"
#include "picdex/types.h"

namespace cli {

struct ScopeLists {
    std::set<CString> included;
    std::set<CString> excluded;  // with the folders that are always excluded
    bool operator==(const ScopeLists&) const = default;
};

ScopeLists ReadScope(ISearchBuss* service);

// The scope that covers exactly `folders` (library folder paths with a trailing
// backslash): they are the included folders, every fixed drive's root is excluded (so
// the rest of each drive is left out), and the excluded folders of `current` stay,
// except the given folders themselves.
ScopeLists ScopeForFolders(const ScopeLists& current, const std::set<CString>& folders);

// The library's default scope: every fixed drive except its system, program and
// temporary folders, plus the default included folders.
ScopeLists DefaultScope();

// Stores `wanted` as the scope. The steps run in an order in which a folder moving from
// one list to the other keeps its filter: first unwanted includes go, then the excluded
// list is set, then the included one. False when the library refused a step.
bool ApplyScope(ISearchBuss* service, const ScopeLists& wanted);

}  // namespace cli
