// CSourceIO: the metadata reader's read-only memory stream over a byte source. It
// answers exactly as a read-only memory stream over the whole data would (the same
// size, positions and clipping), except that a read touching bytes not yet present
// moves nothing and returns 0, leaving the miss noted on the source.
// One thread at a time; never throws.
#pragma once

#include "exiflib/io.h"
#include "platform/byte_source.h"

class CSourceIO : public ExifLib::IIO {
public:
    explicit CSourceIO(CByteSource& source);

    int Read(void* buffer, int count, bool exact) override;
    int Write(const void*, int, bool) override { return 0; }
    void Flush() override {}
    int Seek(long offset, int origin) override;
    int GetSize() override { return m_nSize; }
    int Close() override;
    bool IsOpen() override { return m_pSource != nullptr && m_nSize >= 1; }
    int Tell() override { return m_nPos; }

private:
    CByteSource* m_pSource;
    int m_nSize;
    int m_nPos = 0;
};
