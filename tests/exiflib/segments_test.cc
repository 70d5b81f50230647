// JPEG segments: where the walk ends and what Parse returns, damaged segments, the
// identifier registry, and running out of memory; the memory streams under them.
#include <gtest/gtest.h>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "exiflib/fatal.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const Bytes kSmallExif = TiffBuilder(false).Ascii(0, 0x010F, "Maker").Build();
const std::string kJfif("JFIF\0", 5), kJfxx("JFXX\0", 5);

// A JFIF body: version 1.2, 72 dpi, a w x h thumbnail, then `thumbBytes` bytes.
Bytes Jfif(unsigned w, unsigned h, size_t thumbBytes) {
    Bytes b{0x01, 0x02, 0x01, 0x00, 0x48, 0x00, 0x48, std::uint8_t(w), std::uint8_t(h)};
    b.resize(9 + thumbBytes, 0x7F);
    return b;
}

}  // namespace

TEST(Segments, WhenTheWalkEndsAndWhatParseReturns) {
    const Bytes exif = JpegBuilder().Exif(kSmallExif).Data();
    auto then = [&](const Bytes& more, bool moreExif = false) {
        Bytes b = exif;
        Append(b, more);
        if (moreExif) Append(b, Bytes(exif.begin() + 2, exif.end()));
        return b;
    };
    Bytes scanFirst = JpegBuilder().Finish();
    Append(scanFirst, exif);  // after the scan: never read
    const std::tuple<Bytes, bool, int> cases[] = {
        {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xDA, 0}, false, 0},  // 11 bytes
        {Bytes(12, 0xFF), false, 0},                                           // no SOI
        {scanFirst, true, 0},
        {then({0x00, 0x00}, true), true, 1},  // not a marker
        {then({0xFF, 0x02}, true), true, 1},  // a code of no kind
        // The end of the image must be followed by exactly one byte.
        {then({0xFF, 0xD9}), false, 1},
        {then({0xFF, 0xD9, 0}), true, 1},
        {then({0xFF, 0xD9, 0, 0}), false, 1},
        // A table is skipped only when at least 4 bytes follow it: with 2 (an EOI and
        // nothing after it) the walk stops there; with 4 it reaches the EOI.
        {then({0xFF, 0xDB, 0, 4, 0, 0, 0xFF, 0xD9}), true, 1},
        {then({0xFF, 0xDB, 0, 4, 0, 0, 0xFF, 0xD9, 0, 0}), false, 1},
    };
    for (const auto& [data, result, count] : cases) {
        CAppSegMgr mgr;
        EXPECT_EQ(std::pair(result, count), (std::pair{ParseBytes(data, mgr), mgr.GetCount()}));
    }
    // No JPEG file changes nothing; another file replaces the segments of the one before.
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(then({}), mgr));
    EXPECT_EQ(std::tuple(false, false, 1),
              (std::tuple{mgr.Parse(nullptr), ParseBytes(Bytes(20, 0), mgr), mgr.GetCount()}));
    EXPECT_EQ(std::pair(true, 0), (std::pair{ParseBytes(scanFirst, mgr), mgr.GetCount()}));
}

// Dropped, and the walk goes on: a JFIF segment whose thumbnail size disagrees with its
// length, an empty JFXX, a maker segment without a byte-order mark, EXIF segments whose
// header is not TIFF or is cut short, whose IFD0 lies outside the data or has no entries.
// A segment whose length runs past the data ends the walk, keeping what came before.
TEST(Segments, DamagedSegmentsAreDroppedOrEndTheWalk) {
    Bytes maker = TiffBuilder(false).Ascii(0, 3, "QV-R61").Build(true);
    maker[0] = maker[1] = 'X';
    JpegBuilder jpeg;
    jpeg.App(0xE0, kJfif, Jfif(2, 2, 11)).App(0xE0, kJfif, Jfif(2, 1, 6));
    jpeg.App(0xE0, kJfxx, {0x10, 1, 2, 3}).App(0xE0, kJfxx, {0x10});
    jpeg.App(0xE1, std::string("QVIMGDATA\0", 10), maker);
    jpeg.Exif(Bytes(kSmallExif.begin(), kSmallExif.begin() + 7)).Exif(TiffBuilder(false).Build());
    for (auto [at, byte] :
         {std::pair<size_t, std::uint8_t>{2, 0x2B}, {0, 'M'}, {4, 4}, {7, 0x80}}) {
        Bytes bad = kSmallExif;
        bad[at] = byte;
        jpeg.Exif(bad);
    }
    jpeg.Exif(kSmallExif).Raw({0xFF, 0xE1, 0x40, 0x00}).Exif(kSmallExif);
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(jpeg.Finish(), mgr));
    EXPECT_EQ("jfif jfxx exif ", Kinds(mgr));
    EXPECT_EQ(std::pair(16 + 3 * 2, 8 + 3),
              std::pair(mgr.GetSegment(0)->GetLength(), mgr.GetSegment(1)->GetLength()));
}

// The shortest registered identifier decides, matched within the first 128 body bytes;
// the factory gets the bytes after the identifier, and the walk resumes after the body
// whatever it read. Siblings ascend as signed bytes: 0xC0 (-64) comes before 'A'.
TEST(Segments, TheRegistryMatchesIdentifiersWithinTheFirst128Bytes) {
    InitExifLib();
    const auto jfxx = CJFIFApp0ExSeg::Create;
    EXPECT_FALSE(Register(0xD0, "AB", 2, jfxx) || Register(0xE5, "AB", 2, nullptr) ||
                 Register(0xE5, nullptr, 2, jfxx));
    std::string id128(128, 'K'), id129(129, 'L');
    ASSERT_TRUE(Register(0xE5, "ABCD", 4, CJFIFApp0Seg::Create) && Register(0xE5, "AB", 2, jfxx) &&
                Register(0xE7, id128.data(), 128, jfxx) &&
                Register(0xE6, id129.data(), 129, jfxx) && Register(0xE5, "\xC0", 1, jfxx));
    JpegBuilder jpeg;
    jpeg.App(0xE7, id128, {1, 2}).App(0xE5, "ABCD", Bytes(300, 9)).App(0xE5, "AC", {1, 2});
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(jpeg.App(0xE6, id129, {1, 2}).Exif(kSmallExif).Finish(), mgr));
    EXPECT_EQ("jfxx jfxx raw raw exif ", Kinds(mgr));
    // A JFXX segment's length is 8 + its body: the bytes after the code, "D" and 300 more.
    EXPECT_EQ(std::pair(8 + 1, 8 + 301),
              std::pair(mgr.GetSegment(0)->GetLength(), mgr.GetSegment(1)->GetLength()));
    const auto* e5 = GetSegmentRegistry().Root()->child;
    while (e5 != nullptr && BYTE(e5->key) != 0xE5)
        e5 = e5->next;
    ASSERT_TRUE(e5 && e5->child && e5->child->next);
    EXPECT_EQ(std::pair(0xC0, 'A'), std::pair(int(BYTE(e5->child->key)), e5->child->next->key));
}

TEST(Segments, OutOfMemoryShowsTheMessageAndLosesOnlyThatSegment) {
    Bytes data = JpegBuilder().App(0xE0, kJfif, Jfif(20, 20, 1200)).Exif(kSmallExif).Finish();
    CAppSegMgr mgr;
    SetAllocationCeilingForTesting(1000);
    testing::internal::CaptureStderr();
    bool parsed = ParseBytes(data, mgr);
    std::string err = testing::internal::GetCapturedStderr();
    SetAllocationCeilingForTesting(0);
    EXPECT_EQ(std::tuple(true, "exif "), std::tuple(parsed, Kinds(mgr)));
    EXPECT_EQ(err,
              "fatal error: data corrupted or memory exhausted detected! now the application has "
              "to quit.\n");
    EXPECT_TRUE(ParseBytes(data, mgr) && Kinds(mgr) == "jfif exif ");  // with memory enough
}

// The read-write stream (the writer's): exact moves all or nothing; without data all
// fails. The read-only stream (the reader's) reads what is left whatever `exact` says,
// never writes, and refuses seeks outside the data.
TEST(MemIO, TheWriterMovesAllOrNothingAndTheReaderWhatIsLeft) {
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
    const BYTE five[5] = {1, 2, 3, 4, 5};
    CMemReadIO in(five, 5);
    EXPECT_EQ(std::tuple(3, 2, 5, 0), (std::tuple{in.Read(buf, 3, true), in.Read(buf, 3, true),
                                                  buf[1], in.Write(buf, 1, false)}));
    EXPECT_EQ(std::tuple(0, -1, 2, -1, 0, 5, -1),
              (std::tuple{in.Seek(2, 0), in.Seek(4, 1), in.Tell(), in.Seek(-6, 2), in.Seek(0, 2),
                          in.Tell(), in.Seek(1L << 40, 0)}));
    EXPECT_FALSE(CMemReadIO(five, 0).IsOpen());
}
