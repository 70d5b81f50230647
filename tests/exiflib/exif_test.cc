#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const std::string kDate = "2008:05:01 10:20:30";
const Bytes kThumb = SampleThumbnail();

// Parses a JPEG with one EXIF segment built from `tiff`; null when none was kept.
CExifApp1Seg* ParseExif(CAppSegMgr& mgr, const Bytes& tiff) {
    EXPECT_TRUE(ParseBytes(JpegBuilder().Exif(tiff).Finish(), mgr));
    return mgr.GetExif();
}

}  // namespace

TEST(Exif, BothByteOrdersGiveTheSameEntries) {
    CAppSegMgr little, big;
    CExifApp1Seg* le = ParseExif(little, SampleTiff(false));
    CExifApp1Seg* be = ParseExif(big, SampleTiff(true));
    ASSERT_TRUE(le && be);
    EXPECT_FALSE(le->IsBigEndian());
    EXPECT_TRUE(be->IsBigEndian());
    EXPECT_EQ(Describe(little, false), Describe(big, false));

    CIFD* exif = Sub(be->GetIFD0(), 0x8769);
    ASSERT_NE(dynamic_cast<CJPEGExifIFD*>(exif), nullptr);
    EXPECT_EQ(Text(exif, 0x829A), "1/125");
    EXPECT_EQ(Text(exif, 0x8827), "400");
    EXPECT_EQ(Text(exif, 0x9204), "-2/3");
    EXPECT_EQ(Text(exif, 0xA214), "{000aX,0014X}");
    EXPECT_TRUE(exif->HasEntry(0x9286) && exif->HasEntry(0x927C) && exif->HasEntry(0x9000));
    // Pixel dimensions keep the type they were stored with.
    EXPECT_EQ(exif->GetEntry(0xA002)->GetType(), kTypeShort);
    EXPECT_EQ(Text(exif, 0xA002), "640");
    EXPECT_EQ(exif->GetEntry(0xA003)->GetType(), kTypeLong);
    EXPECT_EQ(Text(exif, 0xA003), "480");

    CIFD* gps = Sub(be->GetIFD0(), 0x8825);
    ASSERT_NE(dynamic_cast<CJPEGGpsIFD*>(gps), nullptr);
    EXPECT_EQ(Text(gps, 2), "{48/1,30/1,36/1}");
    EXPECT_EQ(gps->GetEntryCount(), 9);

    auto* ifd1 = dynamic_cast<CJPEGIFD1*>(be->GetIFD0()->GetNext());
    ASSERT_NE(ifd1, nullptr);
    ASSERT_EQ(ifd1->GetThumbnailLength(), kThumb.size());
    EXPECT_EQ(Bytes(ifd1->GetThumbnail(), ifd1->GetThumbnail() + kThumb.size()), kThumb);
}

TEST(Exif, EntriesOfTheWrongTypeOrCountAndRepeatedTagsAreLeftOut) {
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        int exif = t.Add(), gps = t.Add();
        t.Ascii(0, 0x010F, "First").Ascii(0, 0x010F, "Second").Typed(0, 0x0110, 2, 0, {});
        t.Longs(0, 0x0112, {3})
            .RawField(0, 0x0128, 3, 3, 0x0102)
            .Ascii(0, 0x1234, "unknown")
            .Pointer(0, 0x8769, exif)
            .Pointer(0, 0x8825, gps);
        t.Rationals(exif, 0x829A, {1, 60}, 10).Rationals(exif, 0x829A, {1, 30});  // first dropped
        t.Rationals(exif, 0x829D, {28, 10, 1, 1}).Longs(exif, 0x8827, {100});
        t.Typed(exif, 0x9003, 2, 19, Str(kDate.substr(0, 18) + '\0'));
        t.Typed(exif, 0x9286, 7, 8, Bytes(8, 'x')).Ascii(exif, 0xA004, "SND00001.WA");
        t.Rationals(gps, 27, {1, 1}).Typed(gps, 1, 2, 3, Str("NN\0"));
        CAppSegMgr mgr;
        CExifApp1Seg* seg = ParseExif(mgr, t.Build());
        ASSERT_NE(seg, nullptr);
        CIFD* ifd0 = seg->GetIFD0();
        EXPECT_EQ(Text(ifd0, 0x010F), "{46X,69X,72X,73X,74X,00X}");  // "First"
        EXPECT_FALSE(ifd0->HasEntry(0x0110));
        EXPECT_FALSE(ifd0->HasEntry(0x1234));
        EXPECT_EQ(ifd0->GetEntry(0x0112)->GetType(), kTypeShort);  // any type, read as SHORT
        EXPECT_EQ(Text(ifd0, 0x0112), big ? "0" : "3");  // the first two bytes of the field
        // SHORT with count 3 holds an offset: in big-endian data the field is turned round
        // as a 32-bit number before its first two bytes are read.
        EXPECT_EQ(Text(ifd0, 0x0128), big ? "513" : "258");
        CIFD* exifDir = Sub(ifd0, 0x8769);
        ASSERT_NE(exifDir, nullptr);
        EXPECT_EQ(Text(exifDir, 0x829A), "1/30");
        EXPECT_EQ(exifDir->GetEntryCount(), 1);  // FNumber, ISO, dates, comment, sound file dropped
        EXPECT_EQ(Sub(ifd0, 0x8825), nullptr);   // nothing kept, so no pointer entry
    }
}

TEST(Exif, SubDirectoriesThatCannotBeReadLeaveNoPointer) {
    TiffBuilder t(false);
    int interop = t.Add(), empty = t.Add();
    t.Ascii(0, 0x010F, "Make").Pointer(0, 0xA005, interop).Pointer(0, 0x8769, empty);
    t.RawField(0, 0x8825, 4, 1, 0x7FFFFFF0);  // GPS pointer far outside the data
    t.Ascii(interop, 0x0001, "R98");
    CAppSegMgr mgr;
    CExifApp1Seg* seg = ParseExif(mgr, t.Build());
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(seg->GetIFD0()->GetEntryCount(), 1);

    // A pointer of type SHORT is not a pointer; a later pointer of the same tag that can
    // be read still counts while the tag has been tried fewer than kMaxPointerTries times
    // (the SHORT one included): GPS is read at its last try, EXIF once too often.
    TiffBuilder s(true);
    int exif = s.Add(), gps = s.Add();
    s.Ascii(0, 0x010F, "Make").Rationals(exif, 0x829A, {1, 2}).Ascii(gps, 1, "S");
    for (WORD tag : {0x8769, 0x8825}) {
        s.Shorts(0, tag, {26});
        for (int i = tag == 0x8769 ? 1 : 2; i < kMaxPointerTries; ++i)
            s.RawField(0, tag, 4, 1, 0x7FFFFFF0);
    }
    s.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps);
    seg = ParseExif(mgr, s.Build());
    ASSERT_NE(seg, nullptr);
    EXPECT_FALSE(seg->GetIFD0()->HasEntry(0x8769));
    EXPECT_TRUE(seg->GetIFD0()->HasEntry(0x8825));
}

TEST(Exif, IFD1NeedsBothOffsetsAndAThumbnailInsideTheData) {
    auto withIfd1 = [](auto fill) {
        TiffBuilder t(true);
        int ifd1 = t.Add();
        t.Ascii(0, 0x010F, "Make").Next(0, ifd1);
        fill(t, ifd1);
        return t.Build();
    };
    CAppSegMgr mgr;
    for (const Bytes& tiff :
         {withIfd1([](TiffBuilder&t, int d) { t.Thumbnail(d, kThumb, false); }),
          withIfd1([](TiffBuilder&t, int d) { t.Shorts(d, 0x0103, {6}).Longs(d, 0x0202, {10}); }),
          withIfd1([](TiffBuilder&t, int d) { t.Longs(d, 0x0201, {8}).Longs(d, 0x0202, {0}); }),
          withIfd1(
              [](TiffBuilder&t, int d) { t.Longs(d, 0x0201, {8}).Longs(d, 0x0202, {100000}); })}) {
        CExifApp1Seg* seg = ParseExif(mgr, tiff);
        ASSERT_NE(seg, nullptr);
        EXPECT_EQ(seg->GetIFD0()->GetNext(), nullptr);
        EXPECT_EQ(seg->GetIFD0()->GetEntryCount(), 1);
    }
    // An IFD0 without entries but with an IFD1 is kept.
    TiffBuilder t(false);
    int ifd1 = t.Add();
    t.Next(0, ifd1).Thumbnail(ifd1, kThumb);
    CExifApp1Seg* seg = ParseExif(mgr, t.Build());
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(seg->GetIFD0()->GetEntryCount(), 0);
    ASSERT_NE(seg->GetIFD0()->GetNext(), nullptr);
}

TEST(Exif, ABadHeaderDropsTheSegmentAndTheWalkGoesOn) {
    Bytes good = SampleTiff(false);
    std::vector<Bytes> bad;
    for (auto patch : {std::pair<size_t, std::uint8_t>{2, 0x2B}, {0, 'M'}, {4, 4}, {7, 0x80}}) {
        Bytes b = good;
        b[patch.first] = patch.second;
        bad.push_back(b);
    }
    bad.push_back(Bytes(good.begin(), good.begin() + 7));  // fewer than 8 bytes
    Bytes noEntries = Str("II");
    Append(noEntries, {0x2A, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    bad.push_back(noEntries);
    for (const Bytes& tiff : bad) {
        CAppSegMgr mgr;
        Bytes data = JpegBuilder().Exif(tiff).App(0xE0, std::string("JFXX\0", 5), {1, 2}).Finish();
        ASSERT_TRUE(ParseBytes(data, mgr));
        ASSERT_EQ(mgr.GetCount(), 1);
        EXPECT_EQ(mgr.GetExif(), nullptr);
        EXPECT_NE(dynamic_cast<CJFIFApp0ExSeg*>(mgr.GetSegment(0)), nullptr);
    }
}

// A value is read only from the segment's own bytes, and no more value bytes are kept
// than the structure holds: Make points past the end of the EXIF segment, into the next
// one; five text tags share the one 4000-byte value of the first, so only that survives.
TEST(Exif, ValuesAreReadOnlyFromTheSegmentAndUpToItsSize) {
    TiffBuilder outside(false);
    outside.Ascii(0, 0x0110, "Model").RawField(0, 0x010F, 2, 8, 200);
    CAppSegMgr mgr;
    Bytes data = JpegBuilder().Exif(outside.Build()).App(0xE3, "", Bytes(300, 'A')).Finish();
    ASSERT_TRUE(ParseBytes(data, mgr));
    ASSERT_NE(mgr.GetExif(), nullptr);
    EXPECT_FALSE(mgr.GetExif()->GetIFD0()->HasEntry(0x010F));
    EXPECT_TRUE(mgr.GetExif()->GetIFD0()->HasEntry(0x0110));

    TiffBuilder shared(false);
    shared.Typed(0, 0x010E, 2, 4000, Bytes(4000, 'd'));
    for (WORD tag : {0x010F, 0x0110, 0x0131, 0x013B, 0x8298})
        shared.RawField(0, tag, 2, 4000, 8 + 2 + 12 * 6 + 4);
    CExifApp1Seg* seg = ParseExif(mgr, shared.Build());
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(seg->GetIFD0()->GetEntryCount(), 1);
    EXPECT_EQ(seg->GetIFD0()->GetEntry(0x010E)->GetCount(), 4000u);
}

TEST(Exif, ToStringForms) {
    const LONG longs[] = {10, 11, -1};
    const short shorts[] = {-1, 2};
    const unsigned char bytes[] = {0xAB, 1};
    const char chars[] = {'\xE9', 'a'};
    const tagSRational sr[] = {{-2, 3}};
    std::pair<IIFDEntry*, std::string> cases[] = {
        {CNormalIFDEntry<LONG>::Create(1, kTypeLong, longs, 3), "{0000000aX,0000000bX,ffffffffX}"},
        {CNormalIFDEntry<LONG>::Create(1, kTypeLong, longs + 2, 1), "4294967295"},
        {CNormalIFDEntry<short>::Create(1, kTypeShort, shorts, 2), "{ffffffffX,0002X}"},
        {CNormalIFDEntry<short>::Create(1, kTypeShort, shorts, 1), "4294967295"},
        {CNormalIFDEntry<unsigned char>::Create(1, kTypeByte, bytes, 2), "{abX,01X}"},
        {CNormalIFDEntry<unsigned char>::Create(1, kTypeByte, bytes, 1), "171"},
        {CNormalIFDEntry<char>::Create(1, kTypeAscii, chars, 2), "{ffffffe9X,61X}"},
        {CNormalIFDEntry<tagSRational>::Create(1, kTypeSRational, sr, 1), "-2/3"},
        {new CIFDIFDEntry(0x8769, nullptr), "(unknown)"},
    };
    for (auto& [entry, text] : cases) {
        std::string s;
        entry->ToString(s);
        EXPECT_EQ(s, text);
        delete entry;
    }
}
