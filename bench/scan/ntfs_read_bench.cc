// Timed driver for the NTFS reader, run by bench/scan/ntfs_bench.sh.
//
//   ntfs_read_bench make-tree DIR FILES FOLDERS [EVERY]
//       writes a tree of FILES small files spread over FOLDERS folders (three levels),
//       every EVERY-th one (default 4) a picture (.jpg), the others .txt, .dat and .doc
//   ntfs_read_bench read IMAGE [REPEATS]
//       reads the image as drive N: REPEATS times (default 5), building every picture's
//       full path, and prints the pictures, the records seen, the best and median
//       seconds of one ReadAll and the peak resident memory
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "picdex/drives.h"
#include "scan/common_func.h"
#include "scan/ntfs_reader.h"

namespace {

long PeakRssKiB() {
    struct rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

int MakeTree(const std::string& dir, long files, long folders, long every) {
    // Three levels: top folders, each with middle folders, each with leaf folders.
    long top = 10, middle = 15;
    long leaves = std::max(1L, folders / (top * middle));
    std::vector<std::string> paths;
    for (long a = 0; a < top; ++a)
        for (long b = 0; b < middle; ++b)
            for (long c = 0; c < leaves; ++c)
                paths.push_back(dir + "/top" + std::to_string(a) + "/mid" + std::to_string(b) +
                                "/leaf" + std::to_string(c));
    for (const std::string& p : paths)
        std::filesystem::create_directories(p);
    static const char* const kOther[] = {".txt", ".dat", ".doc"};
    std::string body(200, 'x');
    for (long i = 0; i < files; ++i) {
        const std::string& folder = paths[size_t(i) % paths.size()];
        std::string name = "file" + std::to_string(i) + (i % every == 0 ? ".jpg" : kOther[i % 3]);
        std::ofstream(folder + "/" + name, std::ios::binary) << body;
    }
    std::printf("tree: %ld files (%ld pictures) in %zu leaf folders (%zu folders in all)\n", files,
                (files + every - 1) / every, paths.size(), paths.size() + top + top * middle);
    return 0;
}

struct Totals {
    long pictures = 0;
    size_t pathChars = 0;
    CString path;
};

void OnPicture(_tagMftEntry* e, int, void* context) {
    Totals& t = *static_cast<Totals*>(context);
    t.path = e->szFolderPath;
    if (t.path.back() != L'\\') t.path += L'\\';
    t.path += e->szName;
    t.pathChars += t.path.size();
    ++t.pictures;
}

int Read(const std::string& image, int repeats) {
    std::string error;
    if (!picdex::SetDriveTable("N=/,fs=NTFS,device=" + image, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CCommonFunc::InitPicExt({});
    long before = PeakRssKiB();
    std::vector<double> seconds;
    Totals t;
    long records = 0;
    for (int r = 0; r < repeats; ++r) {
        CNtfsReader reader;
        t = Totals{};
        reader.m_pfnFound = OnPicture;
        reader.m_pContext = &t;
        auto start = std::chrono::steady_clock::now();
        if (!reader.OpenVolume('N') || !reader.ReadBoot()) {
            std::fprintf(stderr, "%s: not a readable NTFS image\n", image.c_str());
            return 1;
        }
        reader.ReadAll();
        seconds.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        records = reader.m_nRecordsSeen;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("pictures %ld, records with a name %ld, path characters %zu\n", t.pictures, records,
                t.pathChars);
    std::printf("ReadAll seconds: best %.4f, median %.4f (%d runs)\n", seconds.front(),
                seconds[seconds.size() / 2], repeats);
    std::printf("peak resident memory: %ld KiB (%ld KiB before reading)\n", PeakRssKiB(), before);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "make-tree" && (argc == 5 || argc == 6))
        return MakeTree(argv[2], std::atol(argv[3]), std::atol(argv[4]),
                        argc == 6 ? std::max(1L, std::atol(argv[5])) : 4);
    if (what == "read" && (argc == 3 || argc == 4))
        return Read(argv[2], argc == 4 ? std::max(1, std::atoi(argv[3])) : 5);
    std::fprintf(stderr,
                 "usage: %s make-tree DIR FILES FOLDERS [EVERY]\n"
                 "       %s read IMAGE [REPEATS]\n",
                 argv[0], argv[0]);
    return 2;
}
