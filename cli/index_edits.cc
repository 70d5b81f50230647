#include "cli/index_edits.h"

#include <list>
#include <set>
#include <vector>

#include "picdex/common_func.h"

namespace cli {

namespace {

wchar_t FoldAscii(wchar_t c) {
    return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
}

}  // namespace

bool IsIndexedFolder(ISearchBuss* s, const CString& folder) {
    // Asked for the children of a folder it does not hold, the index answers 0.
    std::list<_tagPathInfo> children;
    return s->GetFolders(folder, 0, children) != 0;
}

bool IsIndexedFile(ISearchBuss* s, const CString& path) {
    CString folder = CCommonFunc::GetParentFolder(path);
    if (folder.empty()) return false;
    std::set<CString> files;
    s->GetFolderFiles(folder, 0, files);
    return files.count(path) != 0;
}

bool LikeMatches(const CString& pattern, const CString& text) {
    // Iterative matching with one backtrack point for the last '%'.
    size_t p = 0, t = 0, starP = CString::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'%') {
            starP = p++;
            starT = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'_' || FoldAscii(pattern[p]) == FoldAscii(text[t]))) {
            ++p;
            ++t;
        } else if (starP != CString::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'%')
        ++p;
    return p == pattern.size();
}

bool HasLikeNeighbours(ISearchBuss* s, const CString& folder) {
    std::list<_tagPathInfo> all;
    s->GetFolders(CString(), 1, all);
    CString pattern = folder + L"%";
    for (const _tagPathInfo& f : all) {
        bool inside = f.strFullPath.compare(0, folder.size(), folder) == 0;
        if (!inside && LikeMatches(pattern, f.strFullPath)) return true;
    }
    return false;
}

bool ForgetFolder(ISearchBuss* s, const CString& folder) {
    if (!HasLikeNeighbours(s, folder)) return s->RemoveFolder(folder) != 0;
    std::set<CString> files;
    s->GetFolderFiles(folder, 1, files);
    bool ok = true;
    for (const CString& f : files)
        ok = s->DeleteFile(f, 1) && ok;
    return ok;
}

bool CanRenameFolder(ISearchBuss* s, const CString& from, const CString& to) {
    CString toParent = CCommonFunc::GetParentFolder(to);
    if (toParent.empty() || !IsIndexedFolder(s, toParent)) return false;
    if (IsIndexedFolder(s, to)) return false;
    return !HasLikeNeighbours(s, from);
}

}  // namespace cli
