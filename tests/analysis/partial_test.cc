// Reading less than the whole file: over every fixture picture, cut and damaged copies
// of each and the kept fuzz inputs, bytes loaded on demand (down to one at a time) give
// the record the whole data gives; so do the analyser's reads of real files. A camera
// JPEG is analysed from its start; a file that shrinks under a read fails it.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "analysis/file_analyze.h"
#include "analysis/file_bytes.h"
#include "analysis/image_data.h"
#include "common/temp_dir.h"
#include "pictures.h"
#include "platform/file.h"

using namespace antest;

namespace {

std::string Whole(const Bytes& data, _tagFileDetail d = {}) {
    ExtractImageData(data.data(), UINT(data.size()), d);
    return Describe(d);
}

TEST(PartialRead, EveryPictureGivesTheWholeDataRecord) {
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (const std::string& name : FixtureNames()) {
        const Bytes data = ReadBytes(FixtureDir() + "/" + name);
        inputs.push_back({name, data});
        for (size_t cut : {size_t(3), data.size() / 7, data.size() / 2, data.size() - 1})
            inputs.push_back({name + " cut", Bytes(data.begin(), data.begin() + long(cut))});
        std::mt19937 gen(unsigned(data.size()));
        for (int i = 0; i < 6; ++i) {
            inputs.push_back({name + " changed", data});
            inputs.back().second[gen() % std::min<size_t>(data.size(), 600)] ^= 1 + gen() % 255;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(ANALYSIS_REGRESS_DIR))
        inputs.push_back({entry.path().string(), ReadBytes(entry.path().string())});
    for (const auto& [what, data] : inputs)
        for (auto [first, ahead] : {std::pair<size_t, size_t>(1, 1), {7, 13}, {512, 4096}}) {
            CMemoryBytes bytes(data.data(), data.size(), first, ahead);
            _tagFileDetail d;
            ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
            ASSERT_GE(ExtractFromPartial(bytes, d), 0);
            ASSERT_EQ(Whole(data), Describe(d)) << what << " by " << first << "/" << ahead;
        }
    EXPECT_GT(inputs.size(), 300u);
}

TEST(PartialRead, RealFilesGiveTheWholeDataRecord) {
    // A 4 MB camera JPEG whose scan is noise, and one whose EXIF follows 120 KB of other
    // segments; then every fixture picture.
    testutil::TempDir dir;
    const Bytes camera = ReadBytes(FixtureDir() + "/camera.jpg");
    Bytes big(camera.begin(), camera.end() - 2), late = {0xFF, 0xD8};
    std::mt19937 gen(3);
    while (big.size() < (4u << 20))
        big.push_back(std::uint8_t(gen() % 255));  // never 0xFF: no marker in the scan
    big.insert(big.end(), {0xFF, 0xD9});
    for (int i = 0; i < 2; ++i) {
        late.insert(late.end(), {0xFF, 0xE2, 0xEA, 0x60});  // APP2 of 60000 bytes
        late.resize(late.size() + 59998, 'x');
    }
    late.insert(late.end(), camera.begin() + 2, camera.end());
    WriteBytes(dir / "big.jpg", big);
    WriteBytes(dir / "late.jpg", late);
    std::vector<std::string> files = {dir / "big.jpg", dir / "late.jpg"};
    for (const std::string& name : FixtureNames())
        files.push_back(FixtureDir() + "/" + name);
    for (const std::string& host : files) {
        _tagFileDetail got, facts;
        ASSERT_EQ(1, CFileAnalyze::AnalyseFile(got, Lib(host), 1, 0)) << host;
        facts.fileInfo = got.fileInfo;  // the file's facts, then the step over its bytes
        facts.fileInfo.tSnapTime = got.fileInfo.tFileCreate;
        EXPECT_EQ(Whole(ReadBytes(host), facts), Describe(got)) << host;
    }
    for (const char* name : {"big.jpg", "late.jpg"}) {
        HANDLE h = CreateFileW(Lib(dir / name), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        CFileBytes bytes(h, std::filesystem::file_size(dir / name));
        _tagFileDetail d;
        ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
        EXPECT_TRUE(bytes.IsStillWhole());
        // The file shrinks: it is no longer whole, and a load it needs fails, leaving
        // the record as it was.
        std::filesystem::resize_file(dir / name, 100000);
        EXPECT_FALSE(bytes.IsStillWhole());
        const int r = ExtractFromPartial(bytes, d);
        EXPECT_EQ(name == std::string("big.jpg") ? 1 : -1, r) << name;     // the camera JPEG
        EXPECT_EQ(r == 1 ? L"PX-100 Mark II" : L"", d.exifInfo.strModel);  // needs one load
        CloseHandle(h);
    }
}

}  // namespace
