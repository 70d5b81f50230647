// Reading less than the whole file: over every fixture picture, and over cut and
// damaged copies of each, the step run on bytes loaded on demand (down to one byte at
// a time) gives the record the whole data gives; a real camera-sized JPEG is analysed
// from a small share of its bytes; a failing load leaves the record untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "analysis/file_analyze.h"
#include "analysis/file_bytes.h"
#include "analysis/image_data.h"
#include "common/temp_dir.h"
#include "picdex/host_paths.h"
#include "pictures.h"
#include "platform/file.h"

using namespace antest;

namespace {

std::string Whole(const Bytes& data) {
    _tagFileDetail d;
    ExtractImageData(data.data(), UINT(data.size()), d);
    return Describe(d);
}

std::string Partial(const Bytes& data, size_t first, size_t ahead, int* loads = nullptr) {
    CMemoryBytes bytes(data.data(), data.size(), first, ahead);
    _tagFileDetail d;
    EXPECT_TRUE(bytes.Allocate() && bytes.Begin());
    EXPECT_GE(ExtractFromPartial(bytes, d), 0);
    if (loads) *loads = bytes.GetLoadCount();
    return Describe(d);
}

// The picture itself, copies cut at several points, and copies with bytes changed.
std::vector<std::pair<std::string, Bytes>> Variants(const std::string& name) {
    Bytes data = ReadBytes(FixtureDir() + "/" + name);
    std::vector<std::pair<std::string, Bytes>> out = {{name, data}};
    for (size_t cut : {size_t(3), data.size() / 7, data.size() / 2, data.size() - 1})
        if (cut < data.size())
            out.push_back({name + " cut at " + std::to_string(cut),
                           Bytes(data.begin(), data.begin() + long(cut))});
    std::mt19937 gen(unsigned(data.size()));
    for (int i = 0; i < 6 && !data.empty(); ++i) {
        Bytes changed = data;
        size_t at = gen() % std::min<size_t>(changed.size(), 600);
        changed[at] ^= std::uint8_t(1 + gen() % 255);
        out.push_back({name + " changed at " + std::to_string(at), changed});
    }
    return out;
}

TEST(PartialRead, EveryPictureGivesTheWholeDataRecord) {
    const std::pair<size_t, size_t> policies[] = {
        {1, 1}, {7, 13}, {100, 1}, {512, 4096}, {1, 1 << 20}};
    int compared = 0;
    for (const std::string& name : FixtureNames()) {
        for (const auto& [what, data] : Variants(name)) {
            const std::string whole = Whole(data);
            for (const auto& [first, ahead] : policies) {
                ASSERT_EQ(whole, Partial(data, first, ahead))
                    << what << " loading " << first << "/" << ahead;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 500);
}

TEST(PartialRead, CameraJpegIsReadFromItsStart) {
    // A 4-megabyte JPEG whose scan is long noise: the metadata and the frame header sit
    // in its first kilobytes.
    Bytes camera = ReadBytes(FixtureDir() + "/camera.jpg");
    Bytes big(camera.begin(), camera.end() - 2);
    std::mt19937 gen(3);
    while (big.size() < (4u << 20))
        big.push_back(std::uint8_t(gen() % 255));  // never 0xFF: no marker inside the scan
    big.insert(big.end(), {0xFF, 0xD9});
    int loads = 0;
    EXPECT_EQ(Whole(big),
              Partial(big, CPartialBytes::kFirstLoad, CPartialBytes::kReadAhead, &loads));
    EXPECT_EQ(1, loads);

    testutil::TempDir dir;
    WriteBytes(dir / "big.jpg", big);
    CString path;
    ASSERT_TRUE(picdex::HostToLibraryPath(dir / "big.jpg", &path));
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CFileBytes bytes(h, big.size());
    _tagFileDetail d;
    ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
    EXPECT_EQ(1, ExtractFromPartial(bytes, d));
    CloseHandle(h);
    EXPECT_LT(bytes.GetPresentBytes(), big.size() / 50);
    EXPECT_EQ(Whole(big), Describe(d));
    // The analyser's record matches too, facts aside.
    _tagFileDetail full;
    EXPECT_EQ(1, CFileAnalyze::AnalyseFile(full, path, 1, 0));
    EXPECT_EQ(d.exifInfo.strModel, full.exifInfo.strModel);
    EXPECT_EQ(d.gpsInfo.iLatitude, full.gpsInfo.iLatitude);
    EXPECT_EQ(64, full.fileInfo.iWidth);
}

TEST(PartialRead, AFileThatShrankIsNoLongerWhole) {
    testutil::TempDir dir;
    WriteBytes(dir / "s.jpg", Bytes(200000, 7));
    CString path;
    ASSERT_TRUE(picdex::HostToLibraryPath(dir / "s.jpg", &path));
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    CFileBytes bytes(h, 200000);
    ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
    EXPECT_TRUE(bytes.IsStillWhole());
    std::filesystem::resize_file(dir / "s.jpg", 199999);
    EXPECT_FALSE(bytes.IsStillWhole());
    EXPECT_FALSE(bytes.LoadAll());
    CloseHandle(h);
}

TEST(PartialRead, KeptFuzzInputsGiveTheWholeDataRecord) {
    // Inputs that once crashed, hung or differed, and hand-made hostile headers.
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(ANALYSIS_REGRESS_DIR)) {
        const Bytes data = ReadBytes(entry.path().string());
        const std::string whole = Whole(data);
        for (size_t step : {size_t(1), size_t(5), size_t(4096)})
            EXPECT_EQ(whole, Partial(data, step, step)) << entry.path();
        ++kept;
    }
    EXPECT_GE(kept, 5);
}

// A source whose file fails after its first load (a file that shrank or went bad).
class FailingBytes : public CPartialBytes {
public:
    FailingBytes(const Bytes& data) : CPartialBytes(data.size(), 16, 16), m_data(data) {}

protected:
    bool ReadAt(size_t offset, size_t count, BYTE* dest) override {
        if (++m_reads > 1) return false;
        std::memcpy(dest, m_data.data() + offset, count);
        return true;
    }

private:
    const Bytes& m_data;
    int m_reads = 0;
};

TEST(PartialRead, AFailedLoadLeavesTheRecordAsItWas) {
    Bytes camera = ReadBytes(FixtureDir() + "/camera.jpg");
    FailingBytes bytes(camera);
    _tagFileDetail d;
    d.exifInfo.strModel = L"before";
    ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
    EXPECT_EQ(-1, ExtractFromPartial(bytes, d));
    EXPECT_EQ(L"before", d.exifInfo.strModel);
    EXPECT_EQ(-1, d.fileInfo.iExifID);
}

}  // namespace
