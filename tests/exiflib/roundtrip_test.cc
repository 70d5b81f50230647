#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

TEST(RoundTrip, EverySegmentWrittenBackParsesToTheSameContent) {
    for (bool big : {false, true}) {
        Bytes jfif{1, 2, 1, 0, 72, 0, 72, 2, 1};
        Append(jfif, {10, 20, 30, 40, 50, 60});
        Bytes iim = Dataset(2, 25, "keyword");
        Append(iim, Dataset(2, 90, "Lyon"));
        Append(iim, Dataset(2, 5, "odd"));
        Append(iim, Dataset(2, 25, "kept instead"));  // the data is longer than what is kept
        Bytes data =
            JpegBuilder()
                .App(0xE0, std::string("JFIF\0", 5), jfif)
                .App(0xE0, std::string("JFXX\0", 5), {0x13, 9, 8, 7})
                .Exif(SampleTiff(big))
                .App(0xE1, std::string("QVIMGDATA\0", 10),
                     TiffBuilder(big).Ascii(0, 0, "AB").Ascii(0, 5, "0123456789").Build(true))
                .App(0xED, std::string("Photoshop 3.0\0", 14), ResourceBlock(0x0404, iim))
                .Segment(0xFE, Str("a comment"))
                .App(0xE2, "ICC", Bytes(33, 4))
                .Finish();
        CAppSegMgr first, second;
        ASSERT_TRUE(ParseBytes(data, first));
        ASSERT_EQ(first.GetCount(), 6);
        bool complete = false;
        Bytes again = RewriteSegments(first, &complete);
        EXPECT_TRUE(complete);
        ASSERT_TRUE(ParseBytes(again, second));
        EXPECT_EQ(Describe(first), Describe(second));
        EXPECT_EQ(RewriteSegments(second, &complete), again);  // a second round changes no byte
        // The EXIF segment's offsets are recomputed: the thumbnail still reads back whole.
        auto* ifd1 = dynamic_cast<CJPEGIFD1*>(second.GetExif()->GetIFD0()->GetNext());
        ASSERT_NE(ifd1, nullptr);
        EXPECT_EQ(Bytes(ifd1->GetThumbnail(), ifd1->GetThumbnail() + ifd1->GetThumbnailLength()),
                  SampleThumbnail());
    }
}

TEST(RoundTrip, DefaultDirectoriesWriteAValidStructure) {
    for (bool big : {false, true}) {
        auto* ifd0 = new CJPEGIFD0;
        ifd0->SetDefaults();
        auto* exif = new CJPEGExifIFD;
        exif->SetDefaults();
        auto* gps = new CJPEGGpsIFD;
        gps->SetDefaults();
        ifd0->SetEntry(new CIFDIFDEntry(0x8769, exif));
        ifd0->SetEntry(new CIFDIFDEntry(0x8825, gps));
        const char make[] = "Maker";
        ifd0->SetEntry(CNormalIFDEntry<char>::Create(0x010F, kTypeAscii, make, 6));
        ifd0->SetEntry(CNormalIFDEntry<char>::Create(0x010F, kTypeAscii, make, 3));  // replaces
        CExifApp1Seg seg(ifd0, true, big);
        Bytes written = WriteSegment(&seg);
        ASSERT_FALSE(written.empty());

        CAppSegMgr mgr;
        ASSERT_TRUE(ParseBytes(JpegBuilder().Raw(written).Finish(), mgr));
        ASSERT_NE(mgr.GetExif(), nullptr);
        CIFD* read = mgr.GetExif()->GetIFD0();
        EXPECT_EQ(DescribeIFD(read), DescribeIFD(ifd0));
        EXPECT_EQ(Sub(read, 0x8769)->GetEntryCount(), 10);
        EXPECT_EQ(Text(Sub(read, 0x8769), 0x9000), "{30X,32X,31X,30X}");
        EXPECT_EQ(Text(read, 0x010F), "{4dX,61X,6bX}");
    }
}
