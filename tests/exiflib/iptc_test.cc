#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const std::string kPhotoshop("Photoshop 3.0\0", 14);

CIptc* ParseIptc(CAppSegMgr& mgr, const Bytes& resources) {
    Bytes data = JpegBuilder()
                     .App(0xED, kPhotoshop, resources)
                     .Exif(TiffBuilder(false).Ascii(0, 0x010F, "M").Build())
                     .Finish();
    EXPECT_TRUE(ParseBytes(data, mgr));
    EXPECT_EQ(mgr.GetCount(), 2);  // the IPTC segment never costs the segments after it
    EXPECT_NE(mgr.GetExif(), nullptr);
    return mgr.GetIptc();
}

std::string Get(CIptc* iptc, BYTE record, BYTE dataset) {
    const std::string* s = iptc->GetDataset(record, dataset);
    return s ? *s : "(none)";
}

}  // namespace

TEST(Iptc, FindsTheIptcResourceAfterOtherBlocks) {
    Bytes iim = Dataset(1, 90, "\x1B%G");
    Append(iim, Dataset(2, 25, "first keyword"));
    Append(iim, Dataset(2, 90, "Paris"));
    Append(iim, Dataset(2, 25, "second keyword"));
    Append(iim, Dataset(2, 120, ""));
    Append(iim, Dataset(2, 0x87, "high dataset"));
    Bytes resources = ResourceBlock(0x03ED, Bytes(16, 1), "name");
    Append(resources, ResourceBlock(0x0404, iim));
    Append(resources, ResourceBlock(0x0425, Bytes(16, 2)));
    CAppSegMgr mgr;
    CIptc* iptc = ParseIptc(mgr, resources);
    ASSERT_NE(iptc, nullptr);
    EXPECT_EQ(Get(iptc, 2, 25), "second keyword");
    EXPECT_EQ(Get(iptc, 2, 90), "Paris");
    EXPECT_EQ(Get(iptc, 2, 120), "(none)");
    // Keys in order, bytes compared unsigned: 1:90, 2:25, 2:90, 2:135.
    std::vector<std::string> keys;
    for (const auto& [key, data] : iptc->GetDatasets())
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"\x01\x5A", "\x02\x19", "\x02\x5A", "\x02\x87"}));
    EXPECT_EQ(iptc->GetLength(), int(iim.size()) + 30);  // the data as found, not as kept
}

TEST(Iptc, ADatasetRunningPastTheDataIsSkippedAndParsingResumes) {
    Bytes iim = Dataset(2, 5, "title");
    Bytes lying = Dataset(2, 25, "xx");
    lying[4] = 200;  // length 200, far past the data
    Append(iim, lying);
    Append(iim, Dataset(2, 90, "Oslo"));
    Append(iim, Dataset(2, 101, "Norway"));
    CAppSegMgr mgr;
    CIptc* iptc = ParseIptc(mgr, ResourceBlock(0x0404, iim));
    ASSERT_NE(iptc, nullptr);
    EXPECT_EQ(Get(iptc, 2, 5), "title");
    EXPECT_EQ(Get(iptc, 2, 25), "(none)");
    EXPECT_EQ(Get(iptc, 2, 90), "Oslo");
    // The skip counts two bytes against the data it did not read, so the last dataset no
    // longer fits in what is left.
    EXPECT_EQ(Get(iptc, 2, 101), "(none)");
}

TEST(Iptc, FindIptcResourceResultsAndTheEmptySegmentOtherwise) {
    Bytes found = ResourceBlock(0x0404, Dataset(2, 25, "kw"));
    Bytes twoBlocks = ResourceBlock(0x0400, Bytes(3, 0));
    Append(twoBlocks, found);
    Bytes damaged = ResourceBlock(0x03ED, Bytes(8, 1));
    damaged[11] = 0x7F;  // data size far beyond the body
    Bytes badSignature = found;
    badSignature[0] = '7';
    struct Case {
        Bytes body;
        int bodyLength;
        int result;
    } cases[] = {
        {found, int(found.size()), 0},
        {twoBlocks, int(twoBlocks.size()), 0},
        {found, 13, 3},                                // too short to hold a block
        {found, 16, -2},                               // the data size runs past the body
        {Bytes{'8', 'B'}, 40, -2},                     // the signature cannot be read
        {ResourceBlock(0x0400, Bytes(3, 0)), 16, 3},   // no room for a further block
        {ResourceBlock(0x0400, Bytes(3, 0)), 40, -2},  // the body claims more than there is
        {damaged, int(damaged.size()), -2},
        {badSignature, int(badSignature.size()), 3},
    };
    for (const Case& c : cases) {
        CMemReadIO io(c.body.data(), int(c.body.size()));
        unsigned size = 0;
        EXPECT_EQ(FindIptcResource(&io, c.bodyLength, size), c.result);
        if (c.result == 0) {
            EXPECT_EQ(size, 7u);
            EXPECT_EQ(io.Tell(), int(c.body.size()) - 8);  // at the data (padded by one byte)
        }
    }
    // A segment without a readable IPTC resource is kept, empty.
    for (const Bytes& resources : {damaged, badSignature}) {
        CAppSegMgr mgr;
        CIptc* iptc = ParseIptc(mgr, resources);
        ASSERT_NE(iptc, nullptr);
        EXPECT_TRUE(iptc->GetDatasets().empty());
        EXPECT_EQ(iptc->GetLength(), 30);
    }
}

TEST(Maker, ReadsTheTextDirectoryInEitherByteOrder) {
    for (bool big : {false, true}) {
        // The directory follows the byte-order mark at once; offsets count from the mark.
        Bytes body = TiffBuilder(big)
                         .Ascii(0, 1, "2008:05:01 10:20:30")
                         .Ascii(0, 3, "QV-R61")
                         .Ascii(0, 9, "x")
                         .Build(true);
        CAppSegMgr mgr;
        ASSERT_TRUE(ParseBytes(
            JpegBuilder().App(0xE1, std::string("QVIMGDATA\0", 10), body).Finish(), mgr));
        ASSERT_EQ(mgr.GetCount(), 1);
        auto* qv = dynamic_cast<CQVApp1Seg*>(mgr.GetSegment(0));
        ASSERT_NE(qv, nullptr);
        EXPECT_EQ(qv->IsBigEndian(), big);
        ASSERT_EQ(qv->GetQVIFD0()->GetEntryCount(), 2);  // tag 9 is not one of the maker's
        std::string s;
        qv->GetQVIFD0()->GetEntry(3)->ToString(s);
        EXPECT_EQ(s, "{51X,56X,2dX,52X,36X,31X,00X}");
        EXPECT_TRUE(qv->GetQVIFD0()->HasEntry(1));

        body[0] = body[1] = 'X';
        ASSERT_TRUE(ParseBytes(
            JpegBuilder().App(0xE1, std::string("QVIMGDATA\0", 10), body).Finish(), mgr));
        EXPECT_EQ(mgr.GetCount(), 0);
    }
}
