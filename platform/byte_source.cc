#include "platform/byte_source.h"

#include <algorithm>
#include <cstring>

CByteSource::CByteSource(const BYTE* data, size_t size)
    : m_pData(data), m_nSize(data ? size : 0), m_bComplete(true) {}

CByteSource::CByteSource(const BYTE* data, size_t size, NothingPresent)
    : m_pData(data), m_nSize(size), m_bComplete(size == 0) {}

long CByteSource::FindRange(size_t offset) const {
    // The last range starting at or before `offset`.
    auto it = std::upper_bound(m_vecPresent.begin(), m_vecPresent.end(), offset,
                               [](size_t off, const auto& r) { return off < r.first; });
    if (it == m_vecPresent.begin()) return -1;
    --it;
    return offset < it->second ? long(it - m_vecPresent.begin()) : -1;
}

void CByteSource::NoteMiss(size_t offset, size_t end) {
    if (m_bMissed) return;
    m_bMissed = true;
    m_nMissOffset = offset;
    m_nMissEnd = end;
}

const BYTE* CByteSource::Get(size_t offset, size_t count) {
    if (offset > m_nSize || count > m_nSize - offset) return nullptr;
    if (count == 0) return m_pData + offset;
    if (!m_bComplete) {
        long i = FindRange(offset);
        if (i < 0 || m_vecPresent[size_t(i)].second < offset + count) {
            NoteMiss(offset, offset + count);
            return nullptr;
        }
    }
    return m_pData + offset;
}

size_t CByteSource::Copy(size_t offset, size_t count, void* dest) {
    if (offset >= m_nSize || count == 0) return 0;
    count = std::min(count, m_nSize - offset);
    const BYTE* p = Get(offset, count);
    if (p == nullptr) return 0;
    std::memcpy(dest, p, count);
    return count;
}

size_t CByteSource::GetRun(size_t offset, const BYTE** run) {
    if (offset >= m_nSize) return 0;
    size_t end = m_nSize;
    if (!m_bComplete) {
        long i = FindRange(offset);
        if (i < 0) {
            NoteMiss(offset, offset + 1);
            return 0;
        }
        end = m_vecPresent[size_t(i)].second;
    }
    *run = m_pData + offset;
    return end - offset;
}

size_t CByteSource::GetPresentBytes() const {
    if (m_bComplete) return m_nSize;
    size_t n = 0;
    for (const auto& r : m_vecPresent)
        n += r.second - r.first;
    return n;
}

void CByteSource::MarkPresent(size_t offset, size_t count) {
    if (m_bComplete || offset >= m_nSize || count == 0) return;
    size_t end = offset + std::min(count, m_nSize - offset);
    // Merge with every range that overlaps or touches [offset, end).
    auto first = std::lower_bound(m_vecPresent.begin(), m_vecPresent.end(), offset,
                                  [](const auto& r, size_t off) { return r.second < off; });
    auto last = first;
    while (last != m_vecPresent.end() && last->first <= end) {
        offset = std::min(offset, last->first);
        end = std::max(end, last->second);
        ++last;
    }
    first = m_vecPresent.erase(first, last);
    m_vecPresent.insert(first, {offset, end});
    if (m_vecPresent.size() == 1 && m_vecPresent[0].first == 0 && m_vecPresent[0].second == m_nSize)
        m_bComplete = true;
}

std::vector<std::pair<size_t, size_t>> CByteSource::GetGaps(size_t offset, size_t count) const {
    std::vector<std::pair<size_t, size_t>> gaps;
    if (m_bComplete || offset >= m_nSize) return gaps;
    size_t end = offset + std::min(count, m_nSize - offset);
    size_t pos = offset;
    for (const auto& r : m_vecPresent) {
        if (r.second <= pos) continue;
        if (r.first >= end) break;
        if (r.first > pos) gaps.push_back({pos, r.first});
        pos = r.second;
        if (pos >= end) break;
    }
    if (pos < end) gaps.push_back({pos, end});
    return gaps;
}
