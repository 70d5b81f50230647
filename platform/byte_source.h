// CByteSource: the bytes of one file (or buffer) of a known size, of which only some
// ranges may have been brought into memory yet. Readers of the data ask for ranges;
// a range that lies inside the data but is not fully present is a miss: the request
// fails, the first miss is noted, and whatever the reader concluded is to be thrown
// away and the work done again once the missing bytes are present.
//
// The point: a reader that never misses has seen exactly the bytes, and the size, that
// it would have seen with the whole file in memory, so its result is the same. Requests
// that run past the end of the data fail as they would on the whole data, without a
// miss.
//
// The memory for all `size` bytes is owned by the caller (or by a derived loader) and
// stays in place; only the set of present ranges grows (MarkPresent). One thread at a
// time; never throws.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/types.h"

class CByteSource {
public:
    // Every byte of `data` is present.
    CByteSource(const BYTE* data, size_t size);
    virtual ~CByteSource() = default;
    CByteSource(const CByteSource&) = delete;
    CByteSource& operator=(const CByteSource&) = delete;

    size_t GetSize() const { return m_nSize; }
    // The first byte of the data (for pointer arithmetic on runs; not all is present).
    const BYTE* GetBase() const { return m_pData; }

    // `count` bytes at `offset`: a pointer when all are present; null when the range
    // runs past the end (no miss) or part of it is not present (a miss).
    const BYTE* Get(size_t offset, size_t count);
    // Copies the bytes at `offset`, at most `count`, clipped at the end of the data;
    // returns the number copied (0 at or past the end). On a miss nothing is copied and
    // the result is 0.
    size_t Copy(size_t offset, size_t count, void* dest);
    // The present bytes from `offset` on, up to the end of the present range that holds
    // it: their count and, in *run, where they start. 0 at or past the end of the data
    // (no miss) or when the byte at `offset` is not present (a miss).
    size_t GetRun(size_t offset, const BYTE** run);

    bool IsComplete() const { return m_bComplete; }
    bool HasMissed() const { return m_bMissed; }
    // The first missing range asked for since the last ClearMiss.
    size_t GetMissOffset() const { return m_nMissOffset; }
    size_t GetMissEnd() const { return m_nMissEnd; }
    void ClearMiss() { m_bMissed = false; }
    // The number of bytes present.
    size_t GetPresentBytes() const;

protected:
    // Nothing is present yet; `data` must have room for `size` bytes.
    struct NothingPresent {};
    CByteSource(const BYTE* data, size_t size, NothingPresent);
    // Records [offset, offset + count) as present (clipped at the end).
    void MarkPresent(size_t offset, size_t count);
    void SetData(const BYTE* data) { m_pData = data; }
    // The ranges not present within [offset, offset + count), in order.
    std::vector<std::pair<size_t, size_t>> GetGaps(size_t offset, size_t count) const;

private:
    // The index of the present range holding `offset`, or -1.
    long FindRange(size_t offset) const;
    void NoteMiss(size_t offset, size_t end);

    const BYTE* m_pData;
    size_t m_nSize;
    bool m_bComplete;
    // Present ranges (start, end), sorted, disjoint and not touching.
    std::vector<std::pair<size_t, size_t>> m_vecPresent;
    bool m_bMissed = false;
    size_t m_nMissOffset = 0;
    size_t m_nMissEnd = 0;
};
