#include "db/folder_baselines.h"

bool CFolderBaselines::Has(const CString& folder) {
    CSingleLock lock(&m_cs, TRUE);
    return m_map.count(folder) != 0;
}

void CFolderBaselines::Store(const CString& folder, const CMonthChangeMap& negated) {
    CSingleLock lock(&m_cs, TRUE);
    m_map[folder] = negated;
}

CMonthChangeMap CFolderBaselines::Take(const CString& folder) {
    CSingleLock lock(&m_cs, TRUE);
    CMonthChangeMap out;
    auto it = m_map.find(folder);
    if (it != m_map.end()) {
        out = std::move(it->second);
        m_map.erase(it);
    }
    return out;
}

void CFolderBaselines::Clear() {
    CSingleLock lock(&m_cs, TRUE);
    m_map.clear();
}

size_t CFolderBaselines::Size() {
    CSingleLock lock(&m_cs, TRUE);
    return m_map.size();
}
