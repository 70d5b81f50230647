// TIFF headers through the TIFF library's directory reads: the first directory for the
// pixel facts, then the walk of the directory chain for the page count (the library
// detects loops in it). Strip and tile offsets are loaded on demand, so they are not
// read; messages of the library are dropped. Property items come from the file's own
// TIFF structure.
#include <tiffio.h>

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

}  // namespace

bool ReadTiffFacts(CByteSource& source, ImageFacts& facts) {
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
