#include "analysis/file_bytes.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "analysis/image_data.h"
#include "platform/file.h"

CPartialBytes::CPartialBytes(size_t size, size_t firstLoad, size_t readAhead)
    : CByteSource(nullptr, size, NothingPresent{}),
      m_nFirstLoad(std::max<size_t>(firstLoad, 1)),
      m_nReadAhead(std::max<size_t>(readAhead, 1)) {}

bool CPartialBytes::Allocate() {
    // Room for every byte; pages never loaded are never touched.
    m_pBuffer.reset(new (std::nothrow) BYTE[std::max<size_t>(GetSize(), 1)]);
    SetData(m_pBuffer.get());
    return m_pBuffer != nullptr;
}

bool CPartialBytes::LoadRange(size_t offset, size_t count) {
    if (!m_pBuffer) return false;
    ++m_nLoads;
    for (const auto& [start, end] : GetGaps(offset, count)) {
        if (!ReadAt(start, end - start, m_pBuffer.get() + start)) return false;
        MarkPresent(start, end - start);
    }
    return true;
}

bool CPartialBytes::Begin() {
    if (GetSize() == 0) return m_pBuffer != nullptr;
    return LoadRange(0, m_nFirstLoad);
}

bool CPartialBytes::LoadAll() {
    if (IsComplete()) return m_pBuffer != nullptr;
    return LoadRange(0, GetSize());
}

bool CPartialBytes::LoadMissing() {
    if (IsComplete()) return m_pBuffer != nullptr;
    if (m_nLoads > kMaxLoads || GetPresentBytes() >= GetSize() / 2) return LoadAll();
    size_t start = GetMissOffset();
    size_t end = std::max(GetMissEnd(), start + m_nReadAhead);
    // Whole pages, as the file system reads them anyway.
    start -= start % kPage;
    end = std::min(end + (kPage - end % kPage) % kPage, GetSize());
    return LoadRange(start, end - start);
}

bool CFileBytes::ReadAt(size_t offset, size_t count, BYTE* dest) {
    LONGLONG at = 0;
    if (!SetFilePointerEx(m_hFile, LONGLONG(offset), &at, FILE_BEGIN) || at != LONGLONG(offset))
        return false;
    while (count > 0) {
        DWORD got = 0;
        DWORD ask = DWORD(std::min<size_t>(count, 1u << 30));
        // A read that succeeds with no bytes before the end: the file has shrunk.
        if (!ReadFile(m_hFile, dest, ask, &got) || got == 0) return false;
        dest += got;
        count -= got;
    }
    return true;
}

bool CFileBytes::IsStillWhole() {
    LONGLONG now = 0;
    return IsComplete() || (GetFileSizeEx(m_hFile, &now) && now >= LONGLONG(GetSize()));
}

bool CMemoryBytes::ReadAt(size_t offset, size_t count, BYTE* dest) {
    std::memcpy(dest, m_pSource + offset, count);
    return true;
}

int ExtractFromPartial(CPartialBytes& bytes, _tagFileDetail& detail) {
    const _tagFileDetail start = detail;
    for (;;) {
        bytes.ClearMiss();
        int result = ExtractImageData(bytes, detail);
        if (!bytes.HasMissed()) return result;
        detail = start;
        // Every load brings in at least the missed byte, so this ends.
        if (!bytes.LoadMissing()) return -1;
    }
}
