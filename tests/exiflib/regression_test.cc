// Inputs kept from fuzzing (tests/exiflib/regress/): each is parsed, walked and written
// back, and must read back the same, without any fault under the sanitizers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "walk.h"

TEST(Regression, FuzzInputsParseWalkAndRewrite) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(EXIFLIB_REGRESS_DIR)) {
        std::ifstream in(entry.path(), std::ios::binary);
        exiftest::Bytes data((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        std::string report;
        EXPECT_TRUE(exiftest::ParseWalkRewrite(data.data(), data.size(), &report))
            << entry.path() << "\n"
            << report;
        ++files;
    }
    EXPECT_GT(files, 0);
}
