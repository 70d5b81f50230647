// What a parse keeps, written back, reads back the same: every kind of segment, real files
// (the analysis tests' pictures: ImageMagick's, tagged by exiftool in either byte order,
// one with a thumbnail) and the inputs kept from fuzzing (regress/). Their values as the
// index stores them are checked against exiftool by the analysis tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

// Application segments are kept in order, only the first comment; a frame header is
// skipped by its component table (1 component), not by its length field (2); tables,
// TEM and other codes are skipped. The EXIF offsets are recomputed when written, so the
// thumbnail still reads back whole.
TEST(RoundTrip, EverySegmentKeptWrittenBackParsesToTheSameContent) {
    for (bool big : {false, true}) {
        Bytes iim = Dataset(2, 25, "keyword");
        Append(iim, Dataset(2, 5, "odd"));
        Append(iim, Dataset(2, 25, "kept instead"));  // the data is longer than what is kept
        // The maker's directory follows the byte-order mark; it keeps tags 0 to 5 only.
        TiffBuilder maker(big);
        maker.Ascii(0, 1, "2008:05:01 10:20:30").Ascii(0, 5, "0123").Ascii(0, 9, "x");
        TiffBuilder tiff(big);
        int exif = tiff.Add(), ifd1 = tiff.Add();
        tiff.Ascii(0, 0x010F, "Canon").Pointer(0, 0x8769, exif).Next(0, ifd1);
        tiff.Longs(exif, 0xA003, {480}).Thumbnail(ifd1, Bytes(103, 0xFF));  // odd: padded
        JpegBuilder jpeg;
        jpeg.App(0xE0, std::string("JFIF\0", 5), {1, 2, 1, 0, 72, 0, 72, 2, 1, 1, 2, 3, 4, 5, 6});
        jpeg.App(0xE0, std::string("JFXX\0", 5), {0x13, 9, 8, 7}).Segment(0xFE, Str("a comment"));
        jpeg.Exif(tiff.Build()).Segment(0xDB, Bytes(65, 1));
        jpeg.App(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29), Str("<x/>"));
        jpeg.App(0xE1, std::string("QVIMGDATA\0", 10), maker.Build(true));
        jpeg.Segment(0xFE, Str("second")).Raw({0xFF, 0xC0, 0, 2, 8, 0, 16, 0, 16, 1, 1, 0x11, 0});
        jpeg.Raw({0xFF, 0x01})
            .App(0xED, std::string("Photoshop 3.0\0", 14), ResourceBlock(0x0404, iim));
        const Bytes data = jpeg.Segment(0xDD, {0, 4}).App(0xE2, "ICC", Bytes(33, 4)).Finish();
        CAppSegMgr mgr;
        ASSERT_TRUE(ParseBytes(data, mgr));
        ASSERT_EQ("jfif jfxx exif raw maker iptc raw ", Kinds(mgr));
        EXPECT_TRUE(mgr.GetExif() == mgr.GetSegment(2) && mgr.GetIptc() == mgr.GetSegment(5));
        auto* qv = static_cast<CQVApp1Seg*>(mgr.GetSegment(4));
        EXPECT_EQ(std::pair(big, 2),
                  std::pair(qv->IsBigEndian(), qv->GetQVIFD0()->GetEntryCount()));
        EXPECT_EQ(0u, Describe(mgr).find("comment a comment\n"));
        // The thumbnail is read whole, from where IFD1 says.
        EXPECT_NE(Describe(mgr).find(" thumbnail " + std::string(103, '\xFF') + "\n"),
                  std::string::npos);
        std::string report;
        bool complete = false;
        EXPECT_TRUE(ParseWalkRewrite(data.data(), data.size(), &report, &complete)) << report;
        EXPECT_TRUE(complete);
    }
}

// Every kept fuzz input and real file parses, is walked, and written back reads the same.
TEST(RoundTrip, FuzzInputsAndRealFilesParseWalkAndRewrite) {
    int files = 0;
    for (const char* dir : {EXIFLIB_REGRESS_DIR, EXIFLIB_FIXTURES}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().extension() != ".jpg") continue;
            Bytes data = ReadBytes(entry.path());
            std::string report;
            EXPECT_TRUE(ParseWalkRewrite(data.data(), data.size(), &report)) << entry << report;
            ++files;
        }
    }
    EXPECT_GT(files, 10);
}
