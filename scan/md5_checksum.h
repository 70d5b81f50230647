// CMD5Checksum: the MD5 message digest (RFC 1321), computed incrementally.
//
// Feed bytes with Update any number of times, then call Final once; Final returns the
// digest as 32 upper-case hexadecimal characters (the 16 digest bytes in order).
// An object is used by one thread at a time; the static GetMD5 forms are re-entrant and
// never throw. They return "" when there is nothing to digest: a null buffer with a
// non-zero length, a file that cannot be opened, or a read that fails before the end.
#pragma once

#include "platform/file.h"
#include "platform/types.h"

class CMD5Checksum {
public:
    // The digest text of `length` bytes at `buffer`.
    static CString GetMD5(const BYTE* buffer, UINT length);
    // The digest text of the file from its current position to its end, read in blocks
    // of 1024 bytes.
    static CString GetMD5(CFile& file);
    // The digest text of a file, opened read-only (others denied writing) in binary mode.
    static CString GetMD5(const CString& path);

    CMD5Checksum();
    virtual ~CMD5Checksum() = default;

    void Update(const BYTE* input, UINT length);
    // Pads, appends the bit length and returns the digest text. The object must not be
    // fed again afterwards.
    CString Final();
    // The raw 16 digest bytes of the finished digest (valid after Final).
    void GetDigest(BYTE out[16]) const;

protected:
    // Processes one 64-byte block.
    void Transform(const BYTE* block);

    BYTE m_byBuffer[64];  // bytes of the block being filled
    ULONG m_nCount[2];    // bits fed so far, low word first
    ULONG m_lMD5[4];      // state words A, B, C, D
};
