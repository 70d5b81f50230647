#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "exiflib/fatal.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const std::string kFatalLine =
    "fatal error: data corrupted or memory exhausted detected! now the application has to quit.\n";

Bytes SmallExif() {
    TiffBuilder t(false);
    t.Ascii(0, 0x010F, "Maker");
    return t.Build();
}

Bytes Jfif(unsigned w, unsigned h, size_t thumbBytes) {
    Bytes b(9 + thumbBytes, 0x7F);
    const std::uint8_t head[9] = {
        0x01, 0x02, 0x01, 0x00, 0x48, 0x00, 0x48, std::uint8_t(w), std::uint8_t(h)};
    std::copy(head, head + 9, b.begin());
    return b;
}

template <typename T>
bool Is(IMarkerSegment* seg) {
    return dynamic_cast<T*>(seg) != nullptr;
}

}  // namespace

TEST(Segments, KeepsApplicationSegmentsInOrderAndTheFirstComment) {
    // A frame header is skipped by its component table (here 1 component), not by its
    // length field (here 2).
    Bytes sof{0xFF, 0xC0, 0, 2, 8, 0, 16, 0, 16, 1, 1, 0x11, 0};
    Bytes data = JpegBuilder()
                     .App(0xE0, std::string("JFIF\0", 5), Jfif(0, 0, 0))
                     .Exif(SmallExif())
                     .App(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29), Str("<x/>"))
                     .Segment(0xFE, Str("first"))
                     .Segment(0xDB, Bytes(65, 1))
                     .App(0xED, std::string("Photoshop 3.0\0", 14),
                          ResourceBlock(0x0404, Dataset(2, 25, "kw")))
                     .Segment(0xFE, Str("second"))
                     .Raw(sof)
                     .Raw({0xFF, 0x01})
                     .Segment(0xDD, {0, 4})
                     .Segment(0xC4, Bytes(30, 0))
                     .App(0xE2, std::string("ICC_PROFILE\0", 12), Bytes(40, 3))
                     .Finish();
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(data, mgr));
    ASSERT_EQ(mgr.GetCount(), 5);
    EXPECT_TRUE(Is<CJFIFApp0Seg>(mgr.GetSegment(0)));
    EXPECT_TRUE(Is<CExifApp1Seg>(mgr.GetSegment(1)));
    EXPECT_TRUE(Is<CRawSeg>(mgr.GetSegment(2)));
    EXPECT_TRUE(Is<CIptc>(mgr.GetSegment(3)));
    EXPECT_TRUE(Is<CRawSeg>(mgr.GetSegment(4)));
    EXPECT_EQ(mgr.GetSegment(4)->GetMarker(), 0xE2);
    EXPECT_EQ(mgr.GetSegment(4)->GetLength(), 2 + 12 + 40);
    EXPECT_EQ(mgr.GetExif(), mgr.GetSegment(1));
    EXPECT_EQ(mgr.GetIptc(), mgr.GetSegment(3));
    ASSERT_NE(mgr.GetComment(), nullptr);
    EXPECT_EQ(std::string(mgr.GetComment()->GetBody(), mgr.GetComment()->GetBody() + 5), "first");

    // Data that is not a JPEG file is refused and changes nothing; a second JPEG file
    // replaces the segments of the first.
    EXPECT_FALSE(ParseBytes(Bytes(20, 0), mgr));
    EXPECT_EQ(mgr.GetCount(), 5);
    ASSERT_TRUE(ParseBytes(JpegBuilder().Exif(SmallExif()).Finish(), mgr));
    EXPECT_EQ(mgr.GetCount(), 1);
    EXPECT_EQ(mgr.GetComment(), nullptr);
}

TEST(Segments, WhenTheWalkEndsAndWhatParseReturns) {
    const Bytes exif = JpegBuilder().Exif(SmallExif()).Data();
    auto then = [&](const Bytes& more, bool moreExif = false) {
        Bytes b = exif;
        Append(b, more);
        if (moreExif) Append(b, Bytes(exif.begin() + 2, exif.end()));
        return b;
    };
    Bytes scanFirst = JpegBuilder().Finish();
    Append(scanFirst, exif);  // after the scan: never read
    // A table segment is skipped only when at least 4 bytes follow it: with 2 (an EOI and
    // nothing after it) the walk stops there with true; with 4 it reaches the EOI.
    Bytes dqt = JpegBuilder().Segment(0xDB, Bytes(10, 0)).Data();
    dqt.erase(dqt.begin(), dqt.begin() + 2);
    Append(dqt, {0xFF, 0xD9});
    Bytes dqtMore = dqt;
    Append(dqtMore, {0, 0});
    const struct {
        Bytes data;
        bool result;
        int count;
    } cases[] = {
        {Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 0, 0, 0xFF, 0xDA, 0}, false, 0},  // 11 bytes
        {Bytes(12, 0xFF), false, 0},                                           // no SOI
        {scanFirst, true, 0},
        {then({0x00, 0x00}, true), true, 1},  // not a marker
        {then({0x12, 0xFF}, true), true, 1},
        {then({0xFF, 0x02}, true), true, 1},  // a code of no kind
        // The end of the image must be followed by exactly one byte.
        {then({0xFF, 0xD9}), false, 1},
        {then({0xFF, 0xD9, 0}), true, 1},
        {then({0xFF, 0xD9, 0, 0}), false, 1},
        {then(dqt), true, 1},
        {then(dqtMore), false, 1},
    };
    for (const auto& c : cases) {
        CAppSegMgr mgr;
        EXPECT_EQ(ParseBytes(c.data, mgr), c.result);
        EXPECT_EQ(mgr.GetCount(), c.count);
    }
    CMemReadIO twelve(scanFirst.data(), 12);
    EXPECT_TRUE(IsJpeg(&twelve));
    CAppSegMgr mgr;
    EXPECT_FALSE(mgr.Parse(nullptr));
}

TEST(Segments, DamagedSegmentsKeepWhatCameBefore) {
    CAppSegMgr mgr;
    // JFIF whose thumbnail size disagrees with its length: dropped, the walk goes on.
    Bytes data = JpegBuilder()
                     .App(0xE0, std::string("JFIF\0", 5), Jfif(2, 2, 11))
                     .App(0xE0, std::string("JFIF\0", 5), Jfif(2, 1, 6))
                     .App(0xE0, std::string("JFXX\0", 5), Bytes{0x10, 1, 2, 3})
                     .App(0xE0, std::string("JFXX\0", 5), Bytes{0x10})
                     .Exif(SmallExif())
                     .Finish();
    ASSERT_TRUE(ParseBytes(data, mgr));
    ASSERT_EQ(mgr.GetCount(), 3);
    auto* jfif = dynamic_cast<CJFIFApp0Seg*>(mgr.GetSegment(0));
    ASSERT_NE(jfif, nullptr);
    EXPECT_EQ(jfif->GetThumbWidth() * jfif->GetThumbHeight(), 2);
    EXPECT_EQ(jfif->GetLength(), 16 + 6);
    EXPECT_EQ(jfif->GetXDensity(), 0x48);
    auto* jfxx = dynamic_cast<CJFIFApp0ExSeg*>(mgr.GetSegment(1));
    ASSERT_NE(jfxx, nullptr);
    EXPECT_EQ(jfxx->GetExtensionCode(), 0x10);
    EXPECT_EQ(jfxx->GetBodyLength(), 3);
    EXPECT_TRUE(Is<CExifApp1Seg>(mgr.GetSegment(2)));

    // A segment whose length runs past the data ends the walk, keeping the first.
    Bytes cut = JpegBuilder().Exif(SmallExif()).Data();
    Append(cut, {0xFF, 0xE1, 0x40, 0x00});
    Append(cut, Str(std::string("Exif\0\0", 6)));
    Append(cut, SmallExif());
    EXPECT_TRUE(ParseBytes(cut, mgr));
    EXPECT_EQ(mgr.GetCount(), 1);
}

namespace {
int g_calls = 0;
unsigned g_lastBody = 0;
IMarkerSegment* TestFactory(IIO* io, unsigned short body) {
    ++g_calls;
    g_lastBody = body;
    BYTE b[200];
    io->Read(b, body < 200 ? body : 200, false);  // reads part of the body only
    return CRawSeg::Create(0xE5, nullptr, 0, false);
}
}  // namespace

TEST(Segments, TheShortestRegisteredIdentifierDecidesWithinTheFirst128Bytes) {
    InitExifLib();
    EXPECT_FALSE(Register(0xD0, "AB", 2, TestFactory));
    EXPECT_FALSE(Register(0xE5, "AB", 2, nullptr));
    EXPECT_FALSE(Register(0xE5, nullptr, 2, TestFactory));
    ASSERT_TRUE(Register(0xE5, "ABCD", 4, TestFactory));
    ASSERT_TRUE(Register(0xE5, "AB", 2, TestFactory));
    // Identifiers are matched within the first 128 body bytes: 128 bytes match, 129 never.
    std::string id128(128, 'K'), id129(129, 'L');
    ASSERT_TRUE(Register(0xE7, id128.data(), 128, TestFactory));
    ASSERT_TRUE(Register(0xE6, id129.data(), 129, TestFactory));

    g_calls = 0;
    CAppSegMgr mgr;
    Bytes data = JpegBuilder()
                     .App(0xE7, id128, Bytes(3, 9))
                     .App(0xE5, "ABCD", Bytes(300, 9))
                     .App(0xE5, "AC", Bytes(3, 9))
                     .App(0xE6, id129, Bytes(3, 9))
                     .Exif(SmallExif())
                     .Finish();
    ASSERT_TRUE(ParseBytes(data, mgr));
    EXPECT_EQ(g_calls, 2);
    EXPECT_EQ(g_lastBody, 302u);  // "CD" and the 300 bytes after the matched "AB"
    ASSERT_EQ(mgr.GetCount(), 5);
    EXPECT_EQ(mgr.GetSegment(1)->GetLength(), 2);  // what the factory made
    EXPECT_EQ(mgr.GetSegment(2)->GetLength(), 2 + 2 + 3);
    EXPECT_EQ(mgr.GetSegment(3)->GetLength(), 2 + 129 + 3);
    EXPECT_TRUE(Is<CExifApp1Seg>(mgr.GetSegment(4)));  // the walk resumed after each body

    // Siblings ascend as signed bytes: under 0xE5, the key byte 0xC0 (-64) comes before 'A'.
    ASSERT_TRUE(Register(0xE5, "\xC0", 1, TestFactory));
    const auto* e5 = GetSegmentRegistry().Root()->child;
    while (e5 != nullptr && BYTE(e5->key) != 0xE5)
        e5 = e5->next;
    ASSERT_TRUE(e5 && e5->child && e5->child->next);
    EXPECT_EQ(BYTE(e5->child->key), 0xC0);
    EXPECT_EQ(e5->child->next->key, 'A');
}

TEST(Segments, RawSegmentChecks) {
    BYTE body[8] = {0, 5, 'a', 'b', 'c', 0, 0, 0};
    CMemReadIO io(body, 8);
    CRawSeg* seg = ReadRawSegment(&io, 0xFE, true);
    ASSERT_NE(seg, nullptr);
    EXPECT_EQ(seg->GetLength(), 5);
    delete seg;
    io.Seek(0, 0);
    EXPECT_EQ(ReadRawSegment(&io, 0xC0, true), nullptr);  // outside the raw set
    io.Seek(2, 0);
    EXPECT_EQ(MakeRawSegment(&io, 0xE3, 2, true), nullptr);   // length below 3
    EXPECT_EQ(MakeRawSegment(&io, 0xE3, 7, false), nullptr);  // runs past the data
    EXPECT_EQ(MakeRawSegment(nullptr, 0xE3, 3, false), nullptr);
    // Only with `check` is an application segment limited to APP0 ... APP15.
    io.Seek(0, 0);
    EXPECT_EQ(CreateAppSegment(&io, 0x05, true), nullptr);
    io.Seek(0, 0);
    std::unique_ptr<IMarkerSegment> other(CreateAppSegment(&io, 0x05, false));
    ASSERT_TRUE(Is<CRawSeg>(other.get()));
    EXPECT_EQ(other->GetMarker(), 0x05);
    EXPECT_EQ(other->GetLength(), 5);
}

TEST(Segments, OutOfMemoryShowsTheMessageAndLosesOnlyThatSegment) {
    Bytes data = JpegBuilder()
                     .App(0xE0, std::string("JFIF\0", 5), Jfif(20, 20, 1200))
                     .Exif(SmallExif())
                     .Finish();
    CAppSegMgr mgr;
    SetAllocationCeilingForTesting(1000);
    testing::internal::CaptureStderr();
    bool parsed = ParseBytes(data, mgr);
    std::string err = testing::internal::GetCapturedStderr();
    SetAllocationCeilingForTesting(0);
    EXPECT_TRUE(parsed);
    EXPECT_EQ(err, kFatalLine);
    ASSERT_EQ(mgr.GetCount(), 1);
    EXPECT_TRUE(Is<CExifApp1Seg>(mgr.GetSegment(0)));

    testing::internal::CaptureStderr();
    ASSERT_TRUE(ParseBytes(data, mgr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mgr.GetCount(), 2);

    // Inconsistent segments show the same message: a raw segment with a marker outside the
    // raw set, a body of 65534 bytes or more, a null body with a non-zero length.
    BYTE body[4] = {1, 2, 3, 4};
    CMemReadIO io(body, 4);
    std::function<IMarkerSegment*()> makers[] = {
        [&] { return MakeRawSegment(&io, 0xC0, 4, false); },
        [&] { return CRawSeg::Create(0xE3, body, 65534, false); },
        [&] { return CRawSeg::Create(0xE3, nullptr, 1, false); },
        [&] { return CJFIFApp0ExSeg::Make(1, body, 65535, false); },
        [&] { return CJFIFApp0ExSeg::Make(1, nullptr, 2, false); },
        [&] { return CJFIFApp0Seg::Make(0x102, 0, 1, 1, 1, 1, nullptr, false); },
    };
    for (auto& make : makers) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(make(), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), kFatalLine);
    }
}
