// libFuzzer target: arbitrary bytes go to CAppSegMgr::Parse, then everything it kept is
// walked (every segment, directory, entry's ToString and IPTC dataset). Every kept
// segment is also written back; when all of them write, the rewritten file must parse to
// exactly the same content, or the target aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "exiflib/exiflib.h"
#include "walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0x7FFFFFFF) return 0;
    ExifLib::InitExifLib();
    ExifLib::CMemReadIO io(data, int(size));
    ExifLib::CAppSegMgr mgr;
    mgr.Parse(&io);

    exiftest::JpegBuilder rewritten;
    bool complete = true;
    if (mgr.GetComment()) rewritten.Raw(exiftest::WriteSegment(mgr.GetComment()));
    for (ExifLib::IMarkerSegment* seg : mgr.GetSegments()) {
        exiftest::Bytes bytes = exiftest::WriteSegment(seg);
        complete = complete && !bytes.empty();
        rewritten.Raw(bytes);
    }
    // Described after the write, which fills in the thumbnail offset it chose.
    std::string before = exiftest::Describe(mgr);
    if (!complete) return 0;
    ExifLib::CAppSegMgr again;
    exiftest::ParseBytes(rewritten.Finish(), again);
    std::string after = exiftest::Describe(again);
    if (before != after) {
        std::fprintf(stderr, "rewrite differs\n--- read:\n%s--- reread:\n%s", before.c_str(),
                     after.c_str());
        std::abort();
    }
    return 0;
}
