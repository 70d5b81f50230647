#include "exiflib/memio.h"

#include <cstdint>
#include <cstring>

namespace ExifLib {
namespace {

// The target of a seek in 64-bit arithmetic. `long` offsets are 64-bit here, so they
// are first narrowed to a range no 32-bit stream can tell apart from infinity.
std::int64_t SeekTarget(long offset, int origin, int pos, int size, bool* ok) {
    constexpr std::int64_t kFar = std::int64_t(1) << 40;
    std::int64_t off = offset;
    if (off > kFar) off = kFar;
    if (off < -kFar) off = -kFar;
    *ok = true;
    switch (origin) {
        case 0:
            return off;
        case 1:
            return std::int64_t(pos) + off;
        case 2:
            return std::int64_t(size) + off;
        default:
            *ok = false;
            return 0;
    }
}

}  // namespace

CMemIO::CMemIO(BYTE* data, int size) {
    if (data != nullptr && size > 0) {
        m_pData = data;
        m_nSize = size;
        m_nPos = 0;
    } else {
        m_pData = nullptr;
        m_nSize = 0;
        m_nPos = -1;
    }
}

int CMemIO::Read(void* buffer, int count, bool exact) {
    if (m_pData == nullptr || buffer == nullptr || count <= 0 || m_nPos < 0) return 0;
    int left = m_nSize - m_nPos;
    if (left <= 0) return 0;
    if (count > left) {
        if (exact) return 0;
        count = left;
    }
    std::memcpy(buffer, m_pData + m_nPos, size_t(count));
    m_nPos += count;
    return count;
}

int CMemIO::Write(const void* buffer, int count, bool exact) {
    if (m_pData == nullptr || buffer == nullptr || count <= 0 || m_nPos < 0) return 0;
    int left = m_nSize - m_nPos;
    if (left <= 0) return 0;
    if (count > left) {
        if (exact) return 0;
        count = left;
    }
    std::memcpy(m_pData + m_nPos, buffer, size_t(count));
    m_nPos += count;
    return count;
}

int CMemIO::Seek(long offset, int origin) {
    if (m_pData == nullptr) return -1;
    bool ok;
    std::int64_t target = SeekTarget(offset, origin, m_nPos, m_nSize, &ok);
    if (!ok) return -1;
    if (target < 0) target = 0;
    if (target > m_nSize) target = m_nSize;
    m_nPos = int(target);
    return m_nPos;
}

int CMemIO::Close() {
    m_pData = nullptr;
    m_nSize = 0;
    m_nPos = -1;
    return 0;
}

CMemReadIO::CMemReadIO(const BYTE* data, int size) : m_pData(data), m_nSize(size), m_nPos(0) {}

int CMemReadIO::Read(void* buffer, int count, bool) {
    if (m_pData == nullptr || buffer == nullptr || count <= 0) return 0;
    int left = m_nSize - m_nPos;
    if (left <= 0) return 0;
    if (count > left) count = left;
    std::memcpy(buffer, m_pData + m_nPos, size_t(count));
    m_nPos += count;
    return count;
}

int CMemReadIO::Seek(long offset, int origin) {
    bool ok;
    std::int64_t target = SeekTarget(offset, origin, m_nPos, m_nSize, &ok);
    if (!ok || target < 0 || target > m_nSize) return -1;
    m_nPos = int(target);
    return 0;
}

int CMemReadIO::Close() {
    m_pData = nullptr;
    m_nSize = 0;
    m_nPos = 0;
    return 0;
}

}  // namespace ExifLib
