// Analysing a folder of 12-megapixel camera JPEG files from the page cache: the file
// analysis (AnalyseFile, as the scan runs it) beside reading each file whole and running
// the same step, exiv2's library reading the metadata only, and one exiftool process
// over the folder. Prints microseconds per file, the share of the files' bytes each
// analysis read (the process's read counter), and the ratios.
//
// The files are made here: one 4000 x 3000 picture encoded by the JPEG library (about
// 4 MB), given per file a camera-like EXIF segment (IFD0, EXIF directory with a 24 KB
// maker note, GPS directory, IFD1 with a 160 x 120 thumbnail) and an IPTC segment.
// Usage: analysis_bench [files, default 60] [folder, default a new temporary folder]
#include <sys/resource.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The JPEG library's header needs size_t and FILE declared first.
#include <jpeglib.h>
#include <exiv2/exiv2.hpp>

#include "analysis/file_analyze.h"
#include "analysis/image_data.h"
#include "builders.h"
#include "picdex/host_paths.h"

namespace {

using exiftest::Bytes;
using Clock = std::chrono::steady_clock;

Bytes Encode(int width, int height, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    unsigned noise = 1;
    while (cinfo.next_scanline < cinfo.image_height) {
        unsigned y = cinfo.next_scanline;
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            JSAMPLE n = JSAMPLE((noise >> 16) & 0x0F);
            row[size_t(x) * 3] = JSAMPLE(((x + y) / 16 + n) & 0xFF);
            row[size_t(x) * 3 + 1] = JSAMPLE((x * y / 4096 + n) & 0xFF);
            row[size_t(x) * 3 + 2] = JSAMPLE((y / 12 + n) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(mem, mem + size);
    std::free(mem);
    return out;
}

Bytes CameraExif(int serial, const Bytes& thumbnail) {
    exiftest::TiffBuilder t(serial % 2 == 0);
    int exif = t.Add(), gps = t.Add(), ifd1 = t.Add();
    t.Ascii(0, 0x10F, "PicdexCam").Ascii(0, 0x110, "PX-100 Mark II");
    t.Shorts(0, 0x112, {1}).Rationals(0, 0x11A, {72, 1}).Rationals(0, 0x11B, {72, 1});
    t.Shorts(0, 0x128, {2}).Ascii(0, 0x131, "Firmware 1.2.3");
    t.Ascii(0, 0x132, "2008:05:01 10:20:30").Shorts(0, 0x213, {2});
    t.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps).Next(0, ifd1);
    t.Rationals(exif, 0x829A, {1, 125 + serial}).Rationals(exif, 0x829D, {28, 5});
    t.Shorts(exif, 0x8822, {2}).Shorts(exif, 0x8827, {400});
    t.Typed(exif, 0x9000, 7, 4, exiftest::Str("0230"));
    t.Ascii(exif, 0x9003, "2008:05:01 10:20:30").Ascii(exif, 0x9004, "2008:05:01 10:20:30");
    t.Rationals(exif, 0x9204, {-1, 3}, 10).Rationals(exif, 0x9205, {30, 10});
    t.Shorts(exif, 0x9207, {5}).Shorts(exif, 0x9209, {16}).Rationals(exif, 0x920A, {50, 1});
    t.Typed(exif, 0x927C, 7, 24 * 1024, Bytes(24 * 1024, std::uint8_t(serial)));
    t.Longs(exif, 0xA002, {4000}).Longs(exif, 0xA003, {3000}).Shorts(exif, 0xA001, {1});
    t.Typed(gps, 0, 1, 4, {2, 2, 0, 0}).Ascii(gps, 1, "N");
    t.Rationals(gps, 2, {48, 1, 30, 1, 36, 1}).Ascii(gps, 3, "E");
    t.Rationals(gps, 4, {2, 1, 20, 1, 51, 1}).Typed(gps, 5, 1, 1, {0});
    t.Rationals(gps, 6, {35, 1}).Rationals(gps, 7, {10, 1, 20, 1, 30, 1});
    t.Shorts(ifd1, 0x103, {6}).Thumbnail(ifd1, thumbnail);
    return t.Build();
}

Bytes Segment(std::uint8_t marker, const Bytes& body) {
    Bytes out = {0xFF, marker};
    exiftest::PutBE16(out, unsigned(body.size() + 2));
    exiftest::Append(out, body);
    return out;
}

// Bytes read by this process so far (its read counter).
long long BytesRead() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:") return value;
    return -1;
}

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Processor time (user and system) of this process, or of its finished children.
double CpuMicros(int who) {
    rusage u;
    getrusage(who, &u);
    return (double(u.ru_utime.tv_sec) + double(u.ru_stime.tv_sec)) * 1e6 +
           double(u.ru_utime.tv_usec) + double(u.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 60;
    std::string dir = argc > 2 ? argv[2] : "";
    bool own = dir.empty();
    if (own) {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "picdex-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) return 1;
        dir = tmpl;
    }
    std::printf("making %d camera JPEG files in %s\n", files, dir.c_str());
    const Bytes picture = Encode(4000, 3000, 90);
    const Bytes thumbnail = Encode(160, 120, 75);
    std::vector<std::string> paths;
    long long total = 0;
    for (int i = 0; i < files; ++i) {
        Bytes exifBody = exiftest::Str(std::string("Exif\0\0", 6));
        exiftest::Append(exifBody, CameraExif(i, thumbnail));
        Bytes iptc = exiftest::Dataset(2, 25, "harbour");
        exiftest::Append(iptc, exiftest::Dataset(2, 90, "Marseille"));
        Bytes iptcBody = exiftest::Str(std::string("Photoshop 3.0\0", 14));
        exiftest::Append(iptcBody, exiftest::ResourceBlock(0x0404, iptc));
        Bytes file = {0xFF, 0xD8};
        exiftest::Append(file, Segment(0xE1, exifBody));
        exiftest::Append(file, Segment(0xED, iptcBody));
        file.insert(file.end(), picture.begin() + 2, picture.end());
        paths.push_back(dir + "/IMG_" + std::to_string(1000 + i) + ".JPG");
        std::ofstream(paths.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        total += (long long)file.size();
    }
    std::printf("%d files, %.2f MB each\n", files, double(total) / files / 1e6);
    // Into the page cache.
    for (const std::string& p : paths) {
        std::ifstream in(p, std::ios::binary);
        std::vector<char> sink(1 << 20);
        while (in.read(sink.data(), std::streamsize(sink.size()))) {
        }
    }

    std::vector<CString> libPaths;
    for (const std::string& p : paths) {
        CString lib;
        if (!picdex::HostToLibraryPath(p, &lib)) return 1;
        libPaths.push_back(lib);
    }
    const int rounds = 5;
    // Wall time per file, and processor time per file (less disturbed by other work on
    // a shared machine); the ratios below are of processor times.
    auto run = [&](const char* what, auto&& analyse) {
        long long before = BytesRead();
        double cpu = CpuMicros(RUSAGE_SELF);
        auto start = Clock::now();
        for (int r = 0; r < rounds; ++r)
            for (size_t i = 0; i < paths.size(); ++i)
                analyse(i);
        double us = Micros(Clock::now() - start) / (rounds * files);
        cpu = (CpuMicros(RUSAGE_SELF) - cpu) / (rounds * files);
        double share = double(BytesRead() - before) / double(rounds) / double(total);
        std::printf("%-36s %9.1f us/file wall %9.1f us/file cpu  %6.2f%% of bytes read\n", what, us,
                    cpu, 100 * share);
        return cpu;
    };

    int checked = 0;
    const double ours = run("AnalyseFile (as the scan)", [&](size_t i) {
        _tagFileDetail d;
        if (CFileAnalyze::AnalyseFile(d, libPaths[i], 1, 0) == 1 && d.fileInfo.iWidth == 4000 &&
            d.gpsInfo.iLatitude == 174636)
            ++checked;
    });
    const double whole = run("whole file read + the same step", [&](size_t i) {
        Bytes data(std::filesystem::file_size(paths[i]));
        FILE* f = std::fopen(paths[i].c_str(), "rb");
        if (!f || std::fread(data.data(), 1, data.size(), f) != data.size()) std::abort();
        std::fclose(f);
        _tagFileDetail d;
        ExtractImageData(data.data(), UINT(data.size()), d);
    });
    Exiv2::XmpParser::initialize();
    const double exiv2 = run("exiv2 library, metadata only", [&](size_t i) {
        auto image = Exiv2::ImageFactory::open(paths[i]);
        image->readMetadata();
        if (image->exifData().empty()) std::abort();
    });
    Exiv2::XmpParser::terminate();

    std::string command = "exiftool -n -fast -q -j " + dir + " > /dev/null";
    double cpu = CpuMicros(RUSAGE_CHILDREN);
    auto start = Clock::now();
    int rc = std::system(command.c_str());
    const double wall = Micros(Clock::now() - start) / files;
    const double exiftool = (CpuMicros(RUSAGE_CHILDREN) - cpu) / files;
    std::printf("%-36s %9.1f us/file wall %9.1f us/file cpu  (one process, exit %d)\n",
                "exiftool -n -fast over the folder", wall, exiftool, rc);

    std::printf("\nratios of processor time per file; checked %d of %d analyses\n", checked,
                rounds * files);
    std::printf("AnalyseFile vs whole-file read: %.1fx faster\n", whole / ours);
    std::printf("AnalyseFile vs exiv2 library:   %.1fx faster\n", exiv2 / ours);
    std::printf("AnalyseFile vs exiftool:        %.1fx faster\n", exiftool / ours);
    if (own) std::filesystem::remove_all(dir);
    return checked == rounds * files ? 0 : 1;
}
