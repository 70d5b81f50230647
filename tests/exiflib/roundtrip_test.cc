#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

Bytes FullExif(bool big) {
    TiffBuilder t(big);
    int exif = t.Add(), gps = t.Add(), ifd1 = t.Add();
    t.Ascii(0, 0x010F, "NIKON")
        .Ascii(0, 0x0110, "D700")
        .Rationals(0, 0x013F, {64, 100, 33, 100, 21, 100, 71, 100, 15, 100, 6, 100});
    t.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps).Next(0, ifd1);
    t.Rationals(exif, 0x829A, {10, 2500})
        .Shorts(exif, 0x8827, {200, 400})
        .Longs(exif, 0xA002, {4256});
    t.Rationals(exif, 0x9201, {-7, 3}, 10).Typed(exif, 0xA301, 7, 1, {1}).Ascii(exif, 0x9290, "5");
    t.Rationals(gps, 7, {10, 1, 20, 1, 30, 1}).Ascii(gps, 8, "07");
    Bytes thumb(301, 0x5A);
    thumb[0] = 0xFF;
    t.Shorts(ifd1, 0x0103, {6}).Thumbnail(ifd1, thumb);
    return t.Build();
}

// Writes every segment the manager kept (and its comment) into a new JPEG file.
Bytes Rewrite(const CAppSegMgr& mgr) {
    JpegBuilder b;
    if (mgr.GetComment()) b.Raw(WriteSegment(mgr.GetComment()));
    for (IMarkerSegment* seg : mgr.GetSegments()) {
        Bytes written = WriteSegment(seg);
        EXPECT_FALSE(written.empty()) << "segment " << int(seg->GetMarker());
        b.Raw(written);
    }
    return b.Finish();
}

}  // namespace

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
                .Exif(FullExif(big))
                .App(0xE1, std::string("QVIMGDATA\0", 10),
                     TiffBuilder(big).Ascii(0, 0, "AB").Ascii(0, 5, "0123456789").Build(true))
                .App(0xED, std::string("Photoshop 3.0\0", 14), ResourceBlock(0x0404, iim))
                .Segment(0xFE, Str("a comment"))
                .App(0xE2, "ICC", Bytes(33, 4))
                .Finish();
        CAppSegMgr first, second;
        ASSERT_TRUE(ParseBytes(data, first));
        ASSERT_EQ(first.GetCount(), 6);
        Bytes again = Rewrite(first);
        ASSERT_TRUE(ParseBytes(again, second));
        EXPECT_EQ(Describe(first), Describe(second));
        EXPECT_EQ(Rewrite(second), again);  // a second round changes no byte
        // The EXIF segment's offsets are recomputed: the thumbnail still reads back whole.
        auto* ifd1 = dynamic_cast<CJPEGIFD1*>(second.GetExif()->GetIFD0()->GetNext());
        ASSERT_NE(ifd1, nullptr);
        EXPECT_EQ(ifd1->GetThumbnailLength(), 301u);
        EXPECT_EQ(ifd1->GetThumbnail()[300], 0x5A);
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
        EXPECT_EQ(DescribeIFD(mgr.GetExif()->GetIFD0()), DescribeIFD(ifd0));
        CIFD* readExif =
            dynamic_cast<CIFDIFDEntry*>(mgr.GetExif()->GetIFD0()->GetEntry(0x8769))->GetIFD();
        EXPECT_EQ(readExif->GetEntryCount(), 10);
        std::string s;
        readExif->GetEntry(0x9000)->ToString(s);
        EXPECT_EQ(s, "{30X,32X,31X,30X}");
        mgr.GetExif()->GetIFD0()->GetEntry(0x010F)->ToString(s);
        EXPECT_EQ(s, "{4dX,61X,6bX}");
    }
}
