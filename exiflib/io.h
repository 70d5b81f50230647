// IIO: the byte stream every reader and writer of the metadata library works on.
// A stream has a size, a position and (for writable streams) room to write into.
// Streams never throw; reads and writes return the number of bytes moved, seeks
// return -1 on failure. A stream is used by one thread at a time.
#pragma once

namespace ExifLib {

class IIO {
public:
    virtual ~IIO() = default;
    // Copies up to `count` bytes at the position into `buffer` and advances past them.
    // With `exact`, streams that honour it copy either all `count` bytes or none.
    virtual int Read(void* buffer, int count, bool exact) = 0;
    virtual int Write(const void* buffer, int count, bool exact) = 0;
    virtual void Flush() = 0;
    // origin 0: from the start, 1: from the position, 2: from the end.
    virtual int Seek(long offset, int origin) = 0;
    virtual int GetSize() = 0;
    // Forgets the data; returns 0.
    virtual int Close() = 0;
    virtual bool IsOpen() = 0;
    virtual int Tell() = 0;
};

}  // namespace ExifLib
