// CPartialBytes: a byte source that loads a file's bytes on demand, and the loop that
// runs the image and metadata step over it until the step has seen every byte it asks
// for. A camera JPEG's metadata and frame header sit in its first tens of kilobytes, so
// most files are analysed from one read of their start.
//
// Loading: Begin loads the first kFirstLoad bytes (the whole file when it is smaller).
// After a miss, LoadMissing loads the missed range with kReadAhead bytes after its
// start, in whole pages; after kMaxLoads such loads, or once half the file is present,
// the rest of the file is loaded at once, so the step is repeated only a few times.
// Reads are exact: a read that fails or ends before the bytes asked for (a file that
// shrinks) fails the load, as it fails a whole-file read. A device error in bytes that
// are never loaded goes unseen (a whole read would have failed on it): such a file is
// stored with what its readable start gives rather than with its facts only.
//
// CFileBytes reads from an open file handle; CMemoryBytes from a buffer the caller
// keeps (for checking that a partial load gives what the whole data gives).
// One thread at a time; never throws (allocation failures are reported by Allocate).
#pragma once

#include <memory>

#include "db/records.h"
#include "platform/byte_source.h"

class CPartialBytes : public CByteSource {
public:
    static constexpr size_t kFirstLoad = 64 * 1024;
    static constexpr size_t kReadAhead = 64 * 1024;
    static constexpr size_t kPage = 4096;
    static constexpr int kMaxLoads = 6;

    // `firstLoad` and `readAhead` may be set smaller (down to 1) by tests.
    explicit CPartialBytes(size_t size, size_t firstLoad = kFirstLoad,
                           size_t readAhead = kReadAhead);

    // Allocates room for the whole file; false when there is no memory.
    bool Allocate();
    bool Begin();
    bool LoadMissing();
    bool LoadAll();
    // Loads performed so far (Begin, LoadMissing and LoadAll each count once).
    int GetLoadCount() const { return m_nLoads; }

protected:
    // Reads exactly `count` bytes at `offset` into `dest`; false otherwise.
    virtual bool ReadAt(size_t offset, size_t count, BYTE* dest) = 0;

private:
    bool LoadRange(size_t offset, size_t count);

    std::unique_ptr<BYTE[]> m_pBuffer;
    size_t m_nFirstLoad;
    size_t m_nReadAhead;
    int m_nLoads = 0;
};

class CFileBytes : public CPartialBytes {
public:
    CFileBytes(HANDLE file, size_t size) : CPartialBytes(size), m_hFile(file) {}
    // Whether a whole read would still have succeeded: always once every byte is
    // loaded, else while the file is at least as long as it was (one that has shrunk
    // fails a whole read).
    bool IsStillWhole();

protected:
    bool ReadAt(size_t offset, size_t count, BYTE* dest) override;

private:
    HANDLE m_hFile;
};

class CMemoryBytes : public CPartialBytes {
public:
    CMemoryBytes(const BYTE* data, size_t size, size_t firstLoad, size_t readAhead)
        : CPartialBytes(size, firstLoad, readAhead), m_pSource(data) {}

protected:
    bool ReadAt(size_t offset, size_t count, BYTE* dest) override;

private:
    const BYTE* m_pSource;
};

// Runs the image and metadata step over `bytes` (after Begin) until it misses nothing,
// loading more after each miss; the record then holds what the step gives on the whole
// data. 1 or 0 as the step returns; -1 when a load failed (the record is then as it was).
int ExtractFromPartial(CPartialBytes& bytes, _tagFileDetail& detail);
