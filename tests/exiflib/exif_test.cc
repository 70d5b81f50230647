// The EXIF segment's TIFF structure: the entries each directory keeps, sub-directories
// and IFD1, and values outside the data (bad headers: with the damaged segments); the
// Photoshop segment's IPTC datasets.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const Bytes kFar{0x7F, 0xFF, 0xFF, 0xF0};  // a value field: an offset far outside the data

// Parses a JPEG with one EXIF segment built from `tiff`; IFD0, or null when none was kept.
CIFD* ParseIfd0(CAppSegMgr& mgr, const Bytes& tiff) {
    EXPECT_TRUE(ParseBytes(JpegBuilder().Exif(tiff).Finish(), mgr));
    return mgr.GetExif() ? mgr.GetExif()->GetIFD0() : nullptr;
}

// Parses a Photoshop segment of `resources` and an EXIF segment (which must survive);
// returns "segment 237 length <n>" and " record:dataset=data" for each dataset.
std::string ParseIptc(const Bytes& resources) {
    CAppSegMgr mgr;
    EXPECT_TRUE(ParseBytes(JpegBuilder()
                               .App(0xED, std::string("Photoshop 3.0\0", 14), resources)
                               .Exif(TiffBuilder(false).Ascii(0, 0x010F, "M").Build())
                               .Finish(),
                           mgr));
    EXPECT_EQ("iptc exif ", Kinds(mgr));
    std::string all = Describe(mgr);
    return all.substr(1, all.find('\n', 1) - 1);
}

}  // namespace

// Entries of the wrong type or count are left out, as is a repeated tag (the first wins).
// SHORT with count 3 holds an offset: in big-endian data the field is turned round as a
// 32-bit number before its first two bytes are read.
TEST(Exif, EntriesOfTheWrongTypeOrCountAndRepeatedTagsAreLeftOut) {
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        int exif = t.Add(), gps = t.Add();
        t.Ascii(0, 0x010F, "First").Ascii(0, 0x010F, "Second").Typed(0, 0x0110, 2, 0, {});
        t.Longs(0, 0x0112, {3})
            .Typed(0, 0x0128, 3, 3, big ? Bytes{0, 0, 1, 2} : Bytes{2, 1, 0, 0})
            .Ascii(0, 0x1234, "unknown");
        t.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps);
        t.Rationals(exif, 0x829A, {1, 60}, 10).Rationals(exif, 0x829A, {1, 30});  // first dropped
        t.Rationals(exif, 0x829D, {28, 10, 1, 1}).Longs(exif, 0x8827, {100});
        t.Typed(exif, 0x9003, 2, 19, Str(std::string("2008:05:01 10:20:3\0", 19)));
        t.Ascii(exif, 0xA004, "SND0001.WA").Typed(exif, 0x9286, 7, 8, Bytes(8, 'x'));
        t.Shorts(exif, 0xA002, {640}).Longs(exif, 0xA003, {480});  // pixel sizes: either type
        t.Rationals(gps, 27, {1, 1}).Typed(gps, 1, 2, 3, Str("NN\0"));
        CAppSegMgr mgr;
        CIFD* ifd0 = ParseIfd0(mgr, t.Build());
        ASSERT_NE(ifd0, nullptr);
        // Orientation takes any type, read as SHORT; GPS keeps nothing, so has no pointer.
        auto* pointer = dynamic_cast<CIFDIFDEntry*>(ifd0->GetEntry(0x8769));
        ASSERT_NE(pointer, nullptr);
        CIFD* exifDir = pointer->GetIFD();
        EXPECT_EQ(std::tuple("{46X,69X,72X,73X,74X,00X}", big ? "0" : "3", big ? "513" : "258",
                             kTypeShort, 4, "1/30", 3, kTypeShort, kTypeLong, "480"),
                  std::tuple(Text(ifd0, 0x010F), Text(ifd0, 0x0112), Text(ifd0, 0x0128),
                             ifd0->GetEntry(0x0112)->GetType(), ifd0->GetEntryCount(),
                             Text(exifDir, 0x829A), exifDir->GetEntryCount(),
                             exifDir->GetEntry(0xA002)->GetType(),
                             exifDir->GetEntry(0xA003)->GetType(), Text(exifDir, 0xA003)));
    }
}

// A sub-directory that cannot be read, or has no entries, leaves no pointer. A pointer
// of type SHORT is not a pointer; a later one of the same tag still counts while the tag
// has been tried fewer than kMaxPointerTries times: GPS is read at its last try, EXIF
// once too often.
TEST(Exif, SubDirectoriesThatCannotBeReadLeaveNoPointer) {
    TiffBuilder t(false);
    int interop = t.Add(), empty = t.Add();
    t.Ascii(0, 0x010F, "Make").Pointer(0, 0xA005, interop).Pointer(0, 0x8769, empty);
    t.Typed(0, 0x8825, 4, 1, kFar).Ascii(interop, 0x0001, "R98");
    CAppSegMgr mgr;
    CIFD* ifd0 = ParseIfd0(mgr, t.Build());
    EXPECT_EQ(1, ifd0 ? ifd0->GetEntryCount() : -1);

    TiffBuilder s(true);
    int exif = s.Add(), gps = s.Add();
    s.Ascii(0, 0x010F, "Make").Rationals(exif, 0x829A, {1, 2}).Ascii(gps, 1, "S");
    for (WORD tag : {0x8769, 0x8825}) {
        s.Shorts(0, tag, {26});
        for (int i = tag == 0x8769 ? 1 : 2; i < kMaxPointerTries; ++i)
            s.Typed(0, tag, 4, 1, kFar);
    }
    ifd0 = ParseIfd0(mgr, s.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps).Build());
    ASSERT_NE(ifd0, nullptr);
    EXPECT_EQ(std::pair(false, true), std::pair(ifd0->HasEntry(0x8769), ifd0->HasEntry(0x8825)));
}

// IFD1 needs both offsets and a thumbnail inside the data; IFD0 is kept without it, and
// an IFD0 without entries is kept for its IFD1.
TEST(Exif, IFD1NeedsBothOffsetsAndAThumbnailInsideTheData) {
    CAppSegMgr mgr;
    for (int c = 0; c < 5; ++c) {
        TiffBuilder t(true);
        int d = t.Add();
        if (c < 4) t.Ascii(0, 0x010F, "Make");
        if (c == 0) t.Thumbnail(d, Bytes(103, 0xD8), false);             // no length
        if (c == 1) t.Shorts(d, 0x0103, {6}).Longs(d, 0x0202, {10});     // no offset
        if (c == 2) t.Longs(d, 0x0201, {8}).Longs(d, 0x0202, {0});       // empty
        if (c == 3) t.Longs(d, 0x0201, {8}).Longs(d, 0x0202, {100000});  // past the data
        if (c == 4) t.Thumbnail(d, Bytes(103, 0xD8));
        CIFD* ifd0 = ParseIfd0(mgr, t.Next(0, d).Build());
        ASSERT_NE(ifd0, nullptr);
        EXPECT_EQ(std::pair(c == 4, c < 4 ? 1 : 0),
                  std::pair(ifd0->GetNext() != nullptr, ifd0->GetEntryCount()))
            << c;
    }
}

// A value is read only from the segment's own bytes: Make points past the end of the
// EXIF segment, into the next one. No more value bytes are kept than the structure holds:
// five text tags share the one 4000-byte value of the first, so only that survives.
TEST(Exif, ValuesAreReadOnlyFromTheSegmentAndUpToItsSize) {
    CAppSegMgr mgr;
    Bytes outside =
        TiffBuilder(false).Ascii(0, 0x0110, "Model").Typed(0, 0x010F, 2, 8, {200, 0, 0, 0}).Build();
    ASSERT_TRUE(
        ParseBytes(JpegBuilder().Exif(outside).App(0xE3, "", Bytes(300, 'A')).Finish(), mgr));
    ASSERT_NE(mgr.GetExif(), nullptr);
    EXPECT_EQ(std::pair(std::string("(none)"), 1),
              std::pair(Text(mgr.GetExif()->GetIFD0(), 0x010F),
                        mgr.GetExif()->GetIFD0()->GetEntryCount()));
    TiffBuilder shared(false);
    shared.Typed(0, 0x010E, 2, 4000, Bytes(4000, 'd'));
    for (WORD tag : {0x010F, 0x0110, 0x0131, 0x013B, 0x8298})
        shared.Typed(0, tag, 2, 4000, {8 + 2 + 12 * 6 + 4, 0, 0, 0});
    CIFD* ifd0 = ParseIfd0(mgr, shared.Build());
    ASSERT_NE(ifd0, nullptr);
    EXPECT_EQ(std::pair(1, 4000u),
              std::pair(ifd0->GetEntryCount(), ifd0->GetEntry(0x010E)->GetCount()));
}

// The resource 0x0404 is found after other blocks; of a repeated key the last dataset
// stays, an empty one is not kept; keys are ordered as unsigned bytes. The segment's
// length is that of the data found, not of what is kept. A dataset running past the
// data is skipped and parsing resumes; the skip counts two bytes against the data it did
// not read, so the last dataset no longer fits.
TEST(Iptc, DatasetsOfTheIptcResource) {
    Bytes iim = Dataset(1, 90, "\x1B%G");
    for (auto [dataset, text] :
         {std::pair{25, "first"}, {90, "Paris"}, {25, "second"}, {120, ""}, {0x87, "high"}})
        Append(iim, Dataset(2, std::uint8_t(dataset), text));
    Bytes resources = ResourceBlock(0x03ED, Bytes(16, 1), "name");
    Append(resources, ResourceBlock(0x0404, iim));
    Append(resources, ResourceBlock(0x0425, Bytes(16, 2)));
    EXPECT_EQ("segment 237 length " + std::to_string(iim.size() + 30) +
                  " 1:90=\x1B%G 2:25=second 2:90=Paris 2:135=high",
              ParseIptc(resources));

    Bytes lying = Dataset(2, 25, "xx");
    lying[4] = 200;  // length 200, far past the data
    iim = Dataset(2, 5, "title");
    for (const Bytes& more : {lying, Dataset(2, 90, "Oslo"), Dataset(2, 101, "Norway")})
        Append(iim, more);
    EXPECT_EQ("segment 237 length 67 2:5=title 2:90=Oslo", ParseIptc(ResourceBlock(0x0404, iim)));

    // A segment without a readable IPTC resource is kept, empty: a damaged block list, a
    // bad signature, blocks cut short, no block 0x0404.
    Bytes found = ResourceBlock(0x0404, Dataset(2, 25, "kw"));
    Bytes damaged = ResourceBlock(0x03ED, Bytes(8, 1));
    damaged[11] = 0x7F;  // data size far beyond the body
    Bytes badSignature = found;
    badSignature[0] = '7';
    for (const Bytes& resources : {damaged, badSignature, Bytes(found.begin(), found.begin() + 13),
                                   Bytes(found.begin(), found.begin() + 16), Bytes{'8', 'B'},
                                   ResourceBlock(0x0400, Bytes(3, 0))})
        EXPECT_EQ("segment 237 length 30", ParseIptc(resources));
}
