// Byte-order helpers: 16- and 32-bit numbers from and to bytes in either order, and the
// stream reads the segment parsers share. All are small inline functions without state.
#pragma once

#include <cstdint>

#include "exiflib/io.h"
#include "platform/types.h"

namespace ExifLib {

inline WORD Get16(const BYTE* p, bool bigEndian) {
    return bigEndian ? WORD((p[0] << 8) | p[1]) : WORD((p[1] << 8) | p[0]);
}
inline DWORD Get32(const BYTE* p, bool bigEndian) {
    return bigEndian ? (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | p[3]
                     : (DWORD(p[3]) << 24) | (DWORD(p[2]) << 16) | (DWORD(p[1]) << 8) | p[0];
}
inline void Put16(BYTE* p, WORD v, bool bigEndian) {
    if (bigEndian) {
        p[0] = BYTE(v >> 8);
        p[1] = BYTE(v);
    } else {
        p[0] = BYTE(v);
        p[1] = BYTE(v >> 8);
    }
}
inline void Put32(BYTE* p, DWORD v, bool bigEndian) {
    if (bigEndian) {
        p[0] = BYTE(v >> 24);
        p[1] = BYTE(v >> 16);
        p[2] = BYTE(v >> 8);
        p[3] = BYTE(v);
    } else {
        p[0] = BYTE(v);
        p[1] = BYTE(v >> 8);
        p[2] = BYTE(v >> 16);
        p[3] = BYTE(v >> 24);
    }
}

// True when all `count` bytes were read.
inline bool ReadAll(IIO* io, void* buffer, int count) {
    return count == 0 || io->Read(buffer, count, true) == count;
}
inline bool WriteAll(IIO* io, const void* buffer, int count) {
    return count == 0 || io->Write(buffer, count, true) == count;
}

// Reads a 16-bit big-endian number (the byte order of JPEG segment headers).
inline bool ReadBE16(IIO* io, WORD* value) {
    BYTE b[2];
    if (!ReadAll(io, b, 2)) return false;
    *value = Get16(b, true);
    return true;
}
inline bool WriteBE16(IIO* io, WORD value) {
    BYTE b[2];
    Put16(b, value, true);
    return WriteAll(io, b, 2);
}

// Moves to an absolute position; true only when the stream stands exactly there.
inline bool SeekExact(IIO* io, std::int64_t position) {
    if (position < 0 || position > io->GetSize()) return false;
    io->Seek(long(position), 0);
    return io->Tell() == position;
}

// Moves to an absolute position clamped into the data (0 ... size).
inline void SeekClamped(IIO* io, std::int64_t position) {
    std::int64_t size = io->GetSize();
    if (position > size) position = size;
    if (position < 0) position = 0;
    io->Seek(long(position), 0);
}

}  // namespace ExifLib
