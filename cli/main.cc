// picdex: the command-line host of the picture index library.
#include <cstdio>
#include <cstring>

#include "picdex/version.h"

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "Usage: picdex [--help] [--version]\n"
                 "\n"
                 "Keeps an index of the pictures on this machine and searches it.\n"
                 "\n"
                 "  --help      show this text\n"
                 "  --version   print the library's version\n"
                 "\n"
                 "Drives: PICDEX_DRIVES maps drive letters to host folders, for example\n"
                 "  PICDEX_DRIVES='C=/;D=/srv/photos,type=removable'\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("picdex %s\n", picdex::GetVersion());
        return 0;
    }
    std::fprintf(stderr, "picdex: unknown argument '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
