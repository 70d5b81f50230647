// Micro-benchmarks of picture recognition, date-range parsing and the MD5 digest.
// Run by hand: build/bench/scan/scan_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "scan/common_func.h"
#include "scan/md5_checksum.h"

namespace {

const wchar_t* const kNames[] = {
    L"IMG_0001.JPG", L"DSC01234.jpg", L"scan.tiff",        L"notes.txt", L"movie.mp4",
    L"photo.jpeg",   L"a.b.c.png",    L"\u4e2d\u6587.bmp", L"README",    L"archive.tar.gz",
};
const char* const kNarrowNames[] = {
    "IMG_0001.JPG", "DSC01234.jpg", "scan.tiff", "notes.txt", "movie.mp4",
    "photo.jpeg",   "a.b.c.png",    "x.bmp",     "README",    "archive.tar.gz",
};

void BM_IsPicFileWide(benchmark::State& state) {
    CCommonFunc::InitPicExt({});
    std::vector<CString> names(std::begin(kNames), std::end(kNames));
    size_t i = 0, pictures = 0;
    for (auto _ : state) {
        pictures += CCommonFunc::IsPicFile(names[i]);
        if (++i == names.size()) i = 0;
    }
    benchmark::DoNotOptimize(pictures);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsPicFileWide);

void BM_IsPicFileNarrow(benchmark::State& state) {
    CCommonFunc::InitPicExt({});
    size_t i = 0, pictures = 0;
    for (auto _ : state) {
        pictures += CCommonFunc::IsPicFile(kNarrowNames[i], 0);
        if (++i == std::size(kNarrowNames)) i = 0;
    }
    benchmark::DoNotOptimize(pictures);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsPicFileNarrow);

void BM_CanBeTime(benchmark::State& state) {
    setenv("TZ", "UTC0", 1);
    const wchar_t* const texts[] = {L"2008", L"2008-02", L"2008-02-29", L"2008-02-29 10:30:15",
                                    L"2000-00-00 01:01:01"};
    size_t i = 0, accepted = 0;
    CTime from, to;
    for (auto _ : state) {
        accepted += CCommonFunc::CanBeTime(texts[i], from, to);
        if (++i == std::size(texts)) i = 0;
    }
    benchmark::DoNotOptimize(accepted);
    benchmark::DoNotOptimize(from);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CanBeTime);

// One full-precision time stamp as the database stores it.
void BM_CanBeTimeNarrowFull(benchmark::State& state) {
    setenv("TZ", "UTC0", 1);
    CTime from, to;
    for (auto _ : state)
        benchmark::DoNotOptimize(CCommonFunc::CanBeTime("2008-02-29 10:30:15", from, to));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CanBeTimeNarrowFull);

void BM_Md5Buffer(benchmark::State& state) {
    std::vector<BYTE> data(size_t(state.range(0)));
    std::mt19937 rng(5);
    for (auto& b : data)
        b = BYTE(rng());
    for (auto _ : state)
        benchmark::DoNotOptimize(CMD5Checksum::GetMD5(data.data(), UINT(data.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Md5Buffer)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);

// CCommonFunc::GetMD5 on a file (1024-byte reads through the file stand-in). The file is
// the host path in PICDEX_BENCH_MD5_FILE when set (to compare with md5sum on the same
// file), otherwise a 64 MiB file of random bytes written to the temporary folder.
void BM_Md5File(benchmark::State& state) {
    std::string host;
    bool own = false;
    if (const char* f = std::getenv("PICDEX_BENCH_MD5_FILE"); f && *f == '/') {
        host = f;
    } else {
        host = (std::filesystem::temp_directory_path() / "picdex-md5-bench.bin").string();
        std::vector<char> data(64 << 20);
        std::mt19937 rng(9);
        for (auto& c : data)
            c = char(rng());
        std::ofstream(host, std::ios::binary).write(data.data(), std::streamsize(data.size()));
        own = true;
    }
    CString path;
    if (!plat::ToLibraryPath(host, path)) {
        state.SkipWithError("the file lies on no mapped drive");
        return;
    }
    const auto size = std::filesystem::file_size(host);
    CString digest;
    for (auto _ : state) {
        if (!CCommonFunc::GetMD5(path, digest)) {
            state.SkipWithError("cannot read the file");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    if (own) std::filesystem::remove(host);
}
BENCHMARK(BM_Md5File)->Unit(benchmark::kMillisecond);

}  // namespace
