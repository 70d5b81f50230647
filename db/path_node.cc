#include "db/path_node.h"

#include "platform/strings.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

bool CPathNode::NameLess::operator()(const CString& a, const CString& b) const {
    size_t i = 0;
    for (;; ++i) {
        wchar_t ca = i < a.size() && !IsSeparator(a[i]) ? plat::AsciiUpper(a[i]) : 0;
        wchar_t cb = i < b.size() && !IsSeparator(b[i]) ? plat::AsciiUpper(b[i]) : 0;
        if (ca != cb) return ca < cb;
        if (ca == 0) return false;
    }
}

std::vector<CString> CPathNode::SplitPath(const wchar_t* path) {
    std::vector<CString> parts;
    if (!path) return parts;
    // Each component runs up to the next separator, which is then skipped; so a leading
    // or doubled separator yields an empty component, and a trailing one yields none.
    for (const wchar_t* p = path; *p;) {
        CString part;
        for (; *p && !IsSeparator(*p); ++p)
            part += plat::AsciiUpper(*p);
        parts.push_back(std::move(part));
        if (*p) ++p;
    }
    return parts;
}

bool CPathNode::Insert(const wchar_t* path, int type) {
    CPathNode* node = this;
    for (CString& part : SplitPath(path)) {
        auto& child = node->m_children[part];
        if (!child) child = std::make_unique<CPathNode>(part);
        node = child.get();
    }
    node->m_nValue = type;
    node->m_bHasValue = 1;
    return true;
}

bool CPathNode::Lookup(const wchar_t* path, int& type) const {
    const CPathNode* node = this;
    if (node->m_bHasValue) type = node->m_nValue;
    for (const CString& part : SplitPath(path)) {
        auto it = node->m_children.find(part);
        if (it == node->m_children.end()) return false;
        node = it->second.get();
        if (node->m_bHasValue) type = node->m_nValue;
    }
    return true;
}

const CPathNode* CPathNode::Find(const wchar_t* path) const {
    const CPathNode* node = this;
    for (const CString& part : SplitPath(path)) {
        auto it = node->m_children.find(part);
        if (it == node->m_children.end()) return nullptr;
        node = it->second.get();
    }
    return node;
}

bool CPathNode::Remove(const wchar_t* path) {
    std::vector<CString> parts = SplitPath(path);
    std::vector<CPathNode*> chain{this};
    for (const CString& part : parts) {
        auto it = chain.back()->m_children.find(part);
        if (it == chain.back()->m_children.end()) return false;
        chain.push_back(it->second.get());
    }
    chain.back()->m_nValue = 0;
    chain.back()->m_bHasValue = 0;
    // Left to choose: empty leaves are deleted, so the tree does not keep growing
    // while filters are added and removed. Lookups give the same results either way.
    for (size_t i = parts.size(); i > 0; --i) {
        CPathNode* node = chain[i];
        if (node->m_bHasValue || !node->m_children.empty()) break;
        chain[i - 1]->m_children.erase(parts[i - 1]);
    }
    return true;
}

bool CPathNode::SubtreeHasValue(int type) const {
    if (m_bHasValue && m_nValue == type) return true;
    for (const auto& entry : m_children) {
        if (entry.second->SubtreeHasValue(type)) return true;
    }
    return false;
}

bool CPathNode::HasValueBelow(const wchar_t* path, int type) const {
    const CPathNode* node = path ? Find(path) : this;
    return node && node->SubtreeHasValue(type);
}
