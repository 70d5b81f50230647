// libFuzzer target: arbitrary bytes go to CAppSegMgr::Parse, then everything it kept is
// walked (every segment, directory, entry's ToString and IPTC dataset). Every kept
// segment is also written back; when all of them write, the rewritten file must parse to
// exactly the same content, or the target aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "walk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string report;
    if (!exiftest::ParseWalkRewrite(data, size, &report)) {
        std::fprintf(stderr, "rewrite differs\n%s", report.c_str());
        std::abort();
    }
    return 0;
}
