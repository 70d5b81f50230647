// libFuzzer target: arbitrary bytes go through the image and metadata step twice, once
// over the whole data and once over bytes loaded on demand (the first load and the
// read-ahead chosen from the input's size, down to one byte); the two records must be
// the same, or the target aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis/file_bytes.h"
#include "analysis/image_data.h"
#include "pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    _tagFileDetail whole;
    ExtractImageData(data, UINT(size), whole);
    const size_t first = 1 + (size * 7919) % 300, ahead = 1 + (size * 104729) % 1500;
    CMemoryBytes bytes(data, size, first, ahead);
    _tagFileDetail part;
    if (!bytes.Allocate() || !bytes.Begin() || ExtractFromPartial(bytes, part) < 0) std::abort();
    const std::string a = antest::Describe(whole), b = antest::Describe(part);
    if (a != b) {
        std::fprintf(stderr,
                     "partial read differs (first %zu, ahead %zu)\n--- whole\n%s--- partial\n%s",
                     first, ahead, a.c_str(), b.c_str());
        std::abort();
    }
    return 0;
}
