// The two memory streams: what Read, Write and Seek move, and streams without data.
#include <gtest/gtest.h>

#include "exiflib/memio.h"

using namespace ExifLib;

// The read-write stream (the writer's): exact moves all or nothing; without data all fails.
TEST(MemIO, ExactMovesAllOrNothingAndWithoutDataAllFails) {
    BYTE data[6] = {1, 2, 3, 4, 5, 6}, buf[8] = {};
    const BYTE w[3] = {9, 9, 9};
    CMemIO io(data, 6);
    EXPECT_EQ(std::tuple(4, 0, 4, 2, 6), (std::tuple{io.Read(buf, 4, true), io.Read(buf, 4, true),
                                                     io.Tell(), io.Read(buf, 4, false), buf[1]}));
    EXPECT_EQ(std::tuple(4, 0, 2, 9, 4), (std::tuple{io.Seek(-2, 2), io.Write(w, 3, true),
                                                     io.Write(w, 3, false), data[5], data[3]}));
    for (CMemIO none : {CMemIO(nullptr, 4), CMemIO(data, 0)})
        EXPECT_EQ(std::tuple(false, -1, 0, 0, -1),
                  (std::tuple{none.IsOpen(), none.Tell(), none.Read(buf, 1, false),
                              none.Write(buf, 1, false), none.Seek(0, 0)}));
}

// The read-only stream (the reader's) reads what is left whatever `exact` says, never
// writes, and refuses seeks outside the data.
TEST(MemReadIO, ReadsWhatIsLeftAndRefusesSeeksOutside) {
    const BYTE data[5] = {1, 2, 3, 4, 5};
    BYTE buf[8] = {};
    CMemReadIO io(data, 5);
    EXPECT_EQ(std::tuple(3, 2, 5, 0), (std::tuple{io.Read(buf, 3, true), io.Read(buf, 3, true),
                                                  buf[1], io.Write(buf, 1, false)}));
    EXPECT_EQ(std::tuple(0, -1, 2, -1, 0, 5, -1),
              (std::tuple{io.Seek(2, 0), io.Seek(4, 1), io.Tell(), io.Seek(-6, 2), io.Seek(0, 2),
                          io.Tell(), io.Seek(1L << 40, 0)}));
    EXPECT_FALSE(CMemReadIO(data, 0).IsOpen());
}
