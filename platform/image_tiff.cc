// TIFF headers through the TIFF library's directory reads: the first directory for the
// pixel facts, then the walk of the directory chain for the page count (the library
// detects loops in it). Strip and tile offsets are loaded on demand, so they are not
// read; messages of the library are dropped. Property items come from the file's own
// TIFF structure.
#include <tiffio.h>

#include <algorithm>

#include "platform/image_formats.h"

namespace plat {
namespace {

// The largest single allocation the library may make for one file.
constexpr tmsize_t kMaxTiffAlloc = tmsize_t(64) << 20;

struct TiffReader {
    CByteSource* source;
    std::uint64_t pos;
};

tmsize_t ReadProc(thandle_t h, void* out, tmsize_t length) {
    auto* r = static_cast<TiffReader*>(h);
    if (length <= 0 || r->pos >= r->source->GetSize()) return 0;
    size_t n = r->source->Copy(size_t(r->pos), size_t(length), out);
    r->pos += n;
    return tmsize_t(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence) {
    auto* r = static_cast<TiffReader*>(h);
    std::uint64_t base = whence == SEEK_CUR   ? r->pos
                         : whence == SEEK_END ? r->source->GetSize()
                                              : 0;
    // Offsets are unsigned here; a seek before the start is refused.
    if (whence != SEEK_SET && std::int64_t(offset) < 0 &&
        base < std::uint64_t(-std::int64_t(offset)))
        return toff_t(-1);
    r->pos = base + offset;
    return r->pos;
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t h) {
    return static_cast<TiffReader*>(h)->source->GetSize();
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// The library keeps the value of every entry of the first directory in memory, known
// tag or not, and entries may all name the same run of bytes: a few hundred entries
// each naming the same 90 MB would make it hold tens of gigabytes. The values of an
// honest file lie side by side, so together they fit in the file; a first directory
// whose values add up to more than the file (with slack for the small values some
// writers share) is refused before the library sees it. False also on a miss.
bool ValuesFitTheFile(CByteSource& source) {
    constexpr std::uint64_t kShared = 1 << 20;
    const BYTE* head = source.Get(0, 16);
    if (head == nullptr) return !source.HasMissed();  // too short: the library refuses it
    const bool big = head[0] == 'M';
    auto u16 = [big](const BYTE* p) { return big ? Be16(p) : Le16(p); };
    auto u32 = [big](const BYTE* p) { return big ? Be32(p) : Le32(p); };
    auto u64 = [&](const BYTE* p) {
        return big ? std::uint64_t(u32(p)) << 32 | u32(p + 4)
                   : std::uint64_t(u32(p + 4)) << 32 | u32(p);
    };
    const bool bigTiff = u16(head + 2) == 43;
    const std::uint64_t size = source.GetSize();
    const std::uint64_t dir = bigTiff ? u64(head + 8) : u32(head + 4);
    const size_t countBytes = bigTiff ? 8 : 2, entryBytes = bigTiff ? 20 : 12;
    const size_t inlineBytes = bigTiff ? 8 : 4;
    if (dir >= size || size - dir < countBytes) return true;
    const BYTE* countAt = source.Get(size_t(dir), countBytes);
    if (countAt == nullptr) return false;
    const std::uint64_t count = std::min<std::uint64_t>(bigTiff ? u64(countAt) : u16(countAt),
                                                        (size - dir - countBytes) / entryBytes);
    const BYTE* entries = source.Get(size_t(dir + countBytes), size_t(count) * entryBytes);
    if (entries == nullptr) return false;
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        const BYTE* e = entries + i * entryBytes;
        const WORD type = u16(e + 2);
        const std::uint64_t unit = type >= 16 && type <= 18 ? 8 : TiffTypeSize(type);
        const std::uint64_t n = bigTiff ? u64(e + 4) : u32(e + 4);
        const std::uint64_t at = bigTiff ? u64(e + 12) : u32(e + 8);
        // Unknown types and values outside the file are never loaded.
        if (unit == 0 || n > size || n * unit <= inlineBytes || at > size || n * unit > size - at)
            continue;
        total += n * unit;
        if (total > size + kShared) return false;
    }
    return true;
}

}  // namespace

bool ReadTiffFacts(CByteSource& source, ImageFacts& facts) {
    if (!ValuesFitTheFile(source)) return false;
    TiffReader r{&source, 0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return false;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxTiffAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    // r: read only; m: no memory mapping (every byte comes through ReadProc);
    // O: strip and tile offsets are read only when asked for.
    TIFF* tif = TIFFClientOpenExt("picture", "rmO", &r, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    if (tif == nullptr) return false;

    std::uint32_t width = 0, height = 0;
    std::uint16_t bitsPerSample = 1, samples = 1;
    bool ok = TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) == 1 &&
              TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) == 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    tdir_t pages = ok ? TIFFNumberOfDirectories(tif) : 0;
    const bool classic = (TIFFIsBigTIFF(tif) == 0);
    TIFFClose(tif);
    if (!ok || source.HasMissed()) return false;

    const std::uint32_t bits = std::uint32_t(bitsPerSample) * samples;
    facts.format = ImageFormat::Tiff;
    facts.width = width;
    facts.height = height;
    facts.bitsPerPixel = bits > 255 ? 0 : int(bits);  // too many bits: rejected
    facts.pages = pages;
    if (classic) ReadTiffItems(source, 0, source.GetSize(), facts.items);
    return !source.HasMissed();
}

}  // namespace plat
