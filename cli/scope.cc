#include "cli/scope.h"

#include <algorithm>
#include <iterator>

#include "picdex/common_func.h"

namespace cli {

ScopeLists ReadScope(ISearchBuss* service) {
    ScopeLists s;
    service->GetWhiteList(s.included);
    service->GetBlackList(s.excluded);
    return s;
}

ScopeLists ScopeForFolders(const ScopeLists& current, const std::set<CString>& folders) {
    ScopeLists s;
    s.included = folders;
    std::set<CString> roots;
    CCommonFunc::GetAllDrivers(roots, 1, 1, 1);
    for (const std::set<CString>* from :
         {&current.excluded, static_cast<const std::set<CString>*>(&roots)})
        for (const CString& f : *from)
            if (!folders.count(f)) s.excluded.insert(f);
    return s;
}

ScopeLists DefaultScope() {
    ScopeLists s;
    CCommonFunc::GetDefaultWhiteList(s.included);
    CCommonFunc::GetDefaultBlackList(s.excluded);
    CCommonFunc::GetFixedBlackList(s.excluded);
    for (const CString& f : s.included)
        s.excluded.erase(f);
    return s;
}

bool ApplyScope(ISearchBuss* service, const ScopeLists& wanted) {
    // The always-excluded folders are part of the excluded list the library reports;
    // they must stay in what is handed back, or the library would drop them for the
    // rest of the session.
    ScopeLists target = wanted;
    CCommonFunc::GetFixedBlackList(target.excluded);

    // A folder held by both lists would have its one stored row removed by the second
    // list's step; including wins.
    for (const CString& f : target.included)
        target.excluded.erase(f);

    ScopeLists current = ReadScope(service);
    std::set<CString> keep;
    std::set_intersection(current.included.begin(), current.included.end(), target.included.begin(),
                          target.included.end(), std::inserter(keep, keep.end()));
    bool ok = true;
    if (keep != current.included) ok = service->SetWhiteList(keep) && ok;
    ok = service->SetBlackList(target.excluded) && ok;
    ok = service->SetWhiteList(target.included) && ok;
    return ok;
}

}  // namespace cli
