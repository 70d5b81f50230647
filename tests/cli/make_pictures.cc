// Makes a tree of camera pictures for trying and timing the host program:
//   make_pictures FOLDER COUNT [PER_FOLDER]
// writes COUNT JPEG files with EXIF (several cameras, capture times spread over
// 2015-2024, ISO, exposure; every tenth with a GPS position and
// IPTC keywords) into FOLDER/YYYY/MM-NN/, PER_FOLDER (default 100) per folder.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/pictures.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT [PER_FOLDER]\n", argv[0]);
        return 2;
    }
    std::string root = argv[1];
    long count = std::strtol(argv[2], nullptr, 10);
    long perFolder = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 100;
    if (count < 0 || perFolder < 1) return 2;
    static const char* kMakes[] = {"Canon", "NIKON CORPORATION", "SONY", "FUJIFILM", "Apple"};
    static const int kIso[] = {100, 200, 400, 800, 1600, 3200};
    for (long i = 0; i < count; ++i) {
        pictures::Shot s;
        s.seed = int(i);
        s.make = kMakes[i % 5];
        long folder = i / perFolder;
        int year = 2015 + int(folder % 10);
        int month = 1 + int((folder / 10) % 12);
        char taken[32];
        std::snprintf(taken, sizeof taken, "%04d:%02d:%02d %02d:%02d:%02d", year, month,
                      1 + int(i % 28), int(i % 24), int(i % 60), int((i * 7) % 60));
        s.taken = taken;
        s.iso = kIso[i % 6];
        s.exposureDen = 30 << (i % 5);
        if (i % 10 == 0) {
            s.gps = true;
            s.keywords = i % 20 == 0 ? "beach,holiday" : "city";
            s.city = i % 20 == 0 ? "Nice" : "Paris";
        }
        char rel[64];
        std::snprintf(rel, sizeof rel, "/%04d/%02d-%05ld/IMG_%06ld.jpg", year, month, folder, i);
        if (!pictures::WriteFile(root + rel, pictures::Jpeg(s))) {
            std::perror((root + rel).c_str());
            return 1;
        }
    }
    return 0;
}
