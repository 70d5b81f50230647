#include <gtest/gtest.h>

#include "exiflib/memio.h"

using namespace ExifLib;

TEST(MemIO, ExactMovesAllOrNothingSeekClampsAndWithoutDataAllFails) {
    BYTE data[6] = {1, 2, 3, 4, 5, 6};
    CMemIO io(data, 6);
    BYTE buf[8] = {};
    EXPECT_EQ(io.Read(buf, 4, true), 4);
    EXPECT_EQ(io.Read(buf, 4, true), 0);  // does not fit: nothing moves
    EXPECT_EQ(io.Tell(), 4);
    EXPECT_EQ(io.Read(buf, 4, false), 2);  // the rest
    EXPECT_EQ(buf[1], 6);
    EXPECT_EQ(io.Read(nullptr, 1, false), 0);
    EXPECT_EQ(io.Seek(-2, 2), 4);
    const BYTE w[3] = {9, 9, 9};
    EXPECT_EQ(io.Write(w, 3, true), 0);
    EXPECT_EQ(io.Write(w, 3, false), 2);
    EXPECT_EQ(data[5], 9);
    EXPECT_EQ(data[3], 4);

    EXPECT_EQ(io.Seek(3, 0), 3);
    EXPECT_EQ(io.Seek(100, 1), 6);
    EXPECT_EQ(io.Seek(-50, 2), 0);
    EXPECT_EQ(io.Seek(1L << 40, 0), 6);
    EXPECT_EQ(io.Seek(0, 3), -1);
    EXPECT_EQ(io.Close(), 0);
    EXPECT_FALSE(io.IsOpen());
    EXPECT_EQ(io.GetSize(), 0);
    EXPECT_EQ(io.Tell(), -1);

    for (CMemIO none : {CMemIO(nullptr, 4), CMemIO(data, 0), CMemIO(data, -3)}) {
        EXPECT_FALSE(none.IsOpen());
        EXPECT_EQ(none.GetSize(), 0);
        EXPECT_EQ(none.Tell(), -1);
        EXPECT_EQ(none.Read(buf, 1, false), 0);
        EXPECT_EQ(none.Write(buf, 1, false), 0);
        EXPECT_EQ(none.Seek(0, 0), -1);
    }
}

TEST(MemReadIO, ReadsWhatIsLeftAndRefusesSeeksOutside) {
    const BYTE data[5] = {1, 2, 3, 4, 5};
    CMemReadIO io(data, 5);
    EXPECT_TRUE(io.IsOpen());
    BYTE buf[8] = {};
    EXPECT_EQ(io.Read(buf, 3, true), 3);
    EXPECT_EQ(io.Read(buf, 3, true), 2);  // `exact` is not honoured
    EXPECT_EQ(buf[1], 5);
    EXPECT_EQ(io.Write(buf, 1, false), 0);

    EXPECT_EQ(io.Seek(2, 0), 0);
    EXPECT_EQ(io.Seek(4, 1), -1);
    EXPECT_EQ(io.Tell(), 2);
    EXPECT_EQ(io.Seek(-6, 2), -1);
    EXPECT_EQ(io.Seek(0, 2), 0);
    EXPECT_EQ(io.Tell(), 5);
    EXPECT_EQ(io.Seek(1L << 40, 0), -1);

    io.Close();
    EXPECT_FALSE(io.IsOpen());
    EXPECT_EQ(io.Tell(), 0);
    EXPECT_EQ(io.Read(buf, 1, false), 0);
    EXPECT_FALSE(CMemReadIO(data, 0).IsOpen());
}
