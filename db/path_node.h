// CPathNode: a tree of folder names for the folder filters. Each node may carry a
// value (a filter type); a lookup walks a path's components from the root and keeps
// the value of the deepest valued node on the way, so a deeper filter overrides a
// shallower one.
//
// Components are the texts between "\" or "/" separators, stored in upper case, so
// paths match without regard to ASCII letter case (D:\PHOTOS\ and d:\photos are the
// same folder). A separator right after a component is skipped, so a leading or
// doubled separator gives an empty component (\\server\ is not server\).
// Not thread-safe: the owner (CPathFilter) holds its tree lock around every call.
// The node owns its children.
#pragma once

#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/types.h"

class CPathNode {
public:
    // Orders component names character by character after turning a-z into A-Z; a
    // "\" or "/" ends a name.
    struct NameLess {
        bool operator()(const CString& a, const CString& b) const;
    };

    explicit CPathNode(CString name = CString()) : m_strName(std::move(name)) {}

    // Creates the path's nodes as needed and gives the last one the value. An empty
    // path sets the value of this node.
    bool Insert(const wchar_t* path, int type);
    // Overwrites `type` with every value met on the way (the caller presets 0); false
    // when a component has no node (the values met up to there still count).
    bool Lookup(const wchar_t* path, int& type) const;
    // Clears the value of the path's node, so that lookups below it fall back to the
    // next value above; nodes left with neither value nor children are deleted.
    // False when the path leads to no node.
    bool Remove(const wchar_t* path);
    // Whether the path's node or any node below it has the value `type`. A null path
    // searches from this node.
    bool HasValueBelow(const wchar_t* path, int type) const;

    // The upper-case components of a path.
    static std::vector<CString> SplitPath(const wchar_t* path);

    int m_nValue = 0;
    int m_bHasValue = 0;
    CString m_strName;
    std::map<CString, std::unique_ptr<CPathNode>, NameLess> m_children;

private:
    const CPathNode* Find(const wchar_t* path) const;
    bool SubtreeHasValue(int type) const;
};
