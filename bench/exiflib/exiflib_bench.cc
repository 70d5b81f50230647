// Reading the metadata of a 12-megapixel JPEG file held in memory: our reader (parse
// the segments, walk every EXIF directory and entry as text) beside exiv2's library
// reading the same buffer and printing every EXIF datum. The file is made here with the
// JPEG library (4000 x 3000 pixels) and given an EXIF segment with IFD0, the EXIF and GPS
// directories and IFD1 with a 160 x 120 thumbnail.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include <exiv2/exiv2.hpp>
#include <jpeglib.h>

#include "exiflib/exiflib.h"

using namespace ExifLib;

namespace {

using Bytes = std::vector<BYTE>;

Bytes EncodeJpeg(int width, int height) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        unsigned y = cinfo.next_scanline;
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = JSAMPLE((x ^ y) & 0xFF);
            row[size_t(x) * 3 + 1] = JSAMPLE((x * 7 + y * 3) & 0xFF);
            row[size_t(x) * 3 + 2] = JSAMPLE((x + y) / 32);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(mem, mem + memSize);
    jpeg_destroy_compress(&cinfo);
    free(mem);
    return out;
}

template <typename T>
void Set(CIFD* ifd, WORD tag, WORD type, std::initializer_list<T> values) {
    ifd->SetEntry(CNormalIFDEntry<T>::Create(tag, type, values.begin(), DWORD(values.size())));
}

void SetText(CIFD* ifd, WORD tag, const std::string& text) {
    ifd->SetEntry(
        CNormalIFDEntry<char>::Create(tag, kTypeAscii, text.c_str(), DWORD(text.size() + 1)));
}

// A camera-like EXIF segment, written by the library's own writer.
Bytes MakeExifSegment() {
    auto* ifd0 = new CJPEGIFD0;
    ifd0->SetDefaults();
    SetText(ifd0, 0x010F, "PicdexCam");
    SetText(ifd0, 0x0110, "PX-100 Mark II");
    SetText(ifd0, 0x0131, "Firmware 1.2.3");
    SetText(ifd0, 0x0132, "2008:05:01 10:20:30");
    SetText(ifd0, 0x013B, "A. Photographer");
    SetText(ifd0, 0x8298, "(c) 2008");
    Set<short>(ifd0, 0x0112, kTypeShort, {1});

    auto* exif = new CJPEGExifIFD;
    exif->SetDefaults();
    Set<tagRational>(exif, 0x829A, kTypeRational, {{1, 125}});
    Set<tagRational>(exif, 0x829D, kTypeRational, {{56, 10}});
    Set<short>(exif, 0x8827, kTypeShort, {400});
    SetText(exif, 0x9003, "2008:05:01 10:20:30");
    SetText(exif, 0x9004, "2008:05:01 10:20:30");
    Set<tagSRational>(exif, 0x9201, kTypeSRational, {{6965784, 1000000}});
    Set<tagRational>(exif, 0x9202, kTypeRational, {{4970854, 1000000}});
    Set<tagSRational>(exif, 0x9204, kTypeSRational, {{-2, 3}});
    Set<tagRational>(exif, 0x9205, kTypeRational, {{4, 1}});
    Set<short>(exif, 0x9209, kTypeShort, {16});
    Set<tagRational>(exif, 0x920A, kTypeRational, {{50, 1}});
    Set<unsigned char>(exif, 0x927C, kTypeUndefined, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    Set<unsigned char>(exif, 0x9286, kTypeUndefined, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i'});
    SetText(exif, 0x9290, "42");
    exif->SetEntry(CSingleLongOrShortEntry::CreateLong(0xA002, 4000));
    exif->SetEntry(CSingleLongOrShortEntry::CreateLong(0xA003, 3000));
    ifd0->SetEntry(new CIFDIFDEntry(0x8769, exif));

    auto* gps = new CJPEGGpsIFD;
    gps->SetDefaults();
    SetText(gps, 1, "N");
    Set<tagRational>(gps, 2, kTypeRational, {{48, 1}, {30, 1}, {4500, 100}});
    SetText(gps, 3, "W");
    Set<tagRational>(gps, 4, kTypeRational, {{2, 1}, {20, 1}, {51036, 1000}});
    Set<unsigned char>(gps, 5, kTypeByte, {0});
    Set<tagRational>(gps, 6, kTypeRational, {{35, 1}});
    SetText(gps, 18, "WGS-84");
    ifd0->SetEntry(new CIFDIFDEntry(0x8825, gps));

    auto* ifd1 = new CJPEGIFD1;
    Set<short>(ifd1, 0x0103, kTypeShort, {6});
    Bytes thumb = EncodeJpeg(160, 120);
    BYTE* thumbData = new BYTE[thumb.size()];
    std::copy(thumb.begin(), thumb.end(), thumbData);
    ifd1->SetThumbnail(thumbData, DWORD(thumb.size()));
    ifd0->SetNext(ifd1);

    CExifApp1Seg seg(ifd0, true, false);
    Bytes out(size_t(seg.GetLength()) + 2);
    CMemIO io(out.data(), int(out.size()));
    if (!seg.Write(&io)) std::fprintf(stderr, "EXIF segment could not be written\n");
    return out;
}

const Bytes& TwelveMegapixelJpeg() {
    static const Bytes file = [] {
        Bytes jpeg = EncodeJpeg(4000, 3000);
        Bytes exif = MakeExifSegment();
        jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());  // right after SOI
        return jpeg;
    }();
    return file;
}

size_t WalkIFD(const CIFD* ifd, std::string& text) {
    size_t total = 0;
    for (; ifd != nullptr; ifd = ifd->GetNext()) {
        for (const auto& [tag, entry] : ifd->GetEntries()) {
            entry->ToString(text);
            total += text.size() + tag;
            if (auto* sub = dynamic_cast<const CIFDIFDEntry*>(entry.get()))
                total += WalkIFD(sub->GetIFD(), text);
        }
    }
    return total;
}

void BM_ExifLib_ParseAndWalk(benchmark::State& state) {
    InitExifLib();
    const Bytes& file = TwelveMegapixelJpeg();
    std::string text;
    for (auto _ : state) {
        CMemReadIO io(file.data(), int(file.size()));
        CAppSegMgr mgr;
        bool parsed = mgr.Parse(&io);
        CExifApp1Seg* exif = mgr.GetExif();
        if (!parsed || exif == nullptr) {
            state.SkipWithError("the EXIF segment was not read");
            break;
        }
        benchmark::DoNotOptimize(WalkIFD(exif->GetIFD0(), text));
    }
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_ExifLib_ParseAndWalk)->Unit(benchmark::kMicrosecond);

void BM_Exiv2_ReadAndWalk(benchmark::State& state) {
    const Bytes& file = TwelveMegapixelJpeg();
    for (auto _ : state) {
        auto image = Exiv2::ImageFactory::open(file.data(), long(file.size()));
        image->readMetadata();
        size_t total = 0;
        for (const Exiv2::Exifdatum& datum : image->exifData())
            total += datum.toString().size() + datum.tag();
        if (total == 0) {
            state.SkipWithError("exiv2 read no EXIF data");
            break;
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["file_bytes"] = double(file.size());
}
BENCHMARK(BM_Exiv2_ReadAndWalk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
