#include "analysis/source_io.h"

#include <climits>
#include <cstdint>

CSourceIO::CSourceIO(CByteSource& source)
    : m_pSource(&source),
      m_nSize(source.GetSize() > size_t(INT_MAX) ? INT_MAX : int(source.GetSize())) {}

int CSourceIO::Read(void* buffer, int count, bool) {
    if (m_pSource == nullptr || buffer == nullptr || count <= 0) return 0;
    int left = m_nSize - m_nPos;
    if (left <= 0) return 0;
    if (count > left) count = left;
    if (m_pSource->Copy(size_t(m_nPos), size_t(count), buffer) != size_t(count)) return 0;
    m_nPos += count;
    return count;
}

int CSourceIO::Seek(long offset, int origin) {
    // Offsets are narrowed to a range no 32-bit stream tells apart from infinity.
    constexpr std::int64_t kFar = std::int64_t(1) << 40;
    std::int64_t off = offset;
    if (off > kFar) off = kFar;
    if (off < -kFar) off = -kFar;
    std::int64_t target;
    switch (origin) {
        case 0:
            target = off;
            break;
        case 1:
            target = std::int64_t(m_nPos) + off;
            break;
        case 2:
            target = std::int64_t(m_nSize) + off;
            break;
        default:
            return -1;
    }
    if (target < 0 || target > m_nSize) return -1;
    m_nPos = int(target);
    return 0;
}

int CSourceIO::Close() {
    m_pSource = nullptr;
    m_nSize = 0;
    m_nPos = 0;
    return 0;
}
