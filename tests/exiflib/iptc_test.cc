// The Photoshop segment's IPTC datasets.
#include <gtest/gtest.h>

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

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
}

// A segment without a readable IPTC resource is kept, empty: a damaged block list, a
// bad signature, blocks cut short, no block 0x0404.
TEST(Iptc, WithoutAReadableResourceTheSegmentIsEmpty) {
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
