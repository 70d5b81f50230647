// Memory streams over a buffer the caller owns and keeps alive while the stream is used.
//
// CMemIO reads and writes in place. Without data (a null pointer or a size below 1) it
// has size 0 and position -1 and every operation fails. A read or write that does not
// fit moves nothing when `exact` is set, otherwise it moves what fits. Seek clamps the
// new position into 0 ... size and returns it.
//
// CMemReadIO only reads. It copies the smaller of the count and the bytes left
// (`exact` is ignored); Seek refuses a position outside 0 ... size (returns -1 and
// leaves the position alone) and returns 0 on success.
//
// Neither stream allocates or throws. Positions and sizes are 32-bit.
#pragma once

#include "exiflib/io.h"
#include "platform/types.h"

namespace ExifLib {

class CMemIO : public IIO {
public:
    CMemIO(BYTE* data, int size);

    int Read(void* buffer, int count, bool exact) override;
    int Write(const void* buffer, int count, bool exact) override;
    void Flush() override {}
    int Seek(long offset, int origin) override;
    int GetSize() override { return m_nSize; }
    int Close() override;
    bool IsOpen() override { return m_pData != nullptr; }
    int Tell() override { return m_nPos; }

private:
    BYTE* m_pData;
    int m_nSize;
    int m_nPos;
};

class CMemReadIO : public IIO {
public:
    CMemReadIO(const BYTE* data, int size);

    int Read(void* buffer, int count, bool exact) override;
    int Write(const void*, int, bool) override { return 0; }
    void Flush() override {}
    int Seek(long offset, int origin) override;
    int GetSize() override { return m_nSize; }
    int Close() override;
    bool IsOpen() override { return m_pData != nullptr && m_nSize >= 1; }
    int Tell() override { return m_nPos; }

private:
    const BYTE* m_pData;
    int m_nSize;
    int m_nPos;
};

}  // namespace ExifLib
