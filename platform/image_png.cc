// PNG headers through the PNG library's info read: the chunks up to the first image
// data chunk. Ancillary chunks are stepped over unprocessed (their bytes still pass
// the library's checksum), so nothing is decompressed.
#include <png.h>

#include <csetjmp>

#include "platform/image_formats.h"

namespace plat {
namespace {

struct PngReader {
    CByteSource* source;
    size_t pos;
};

void ReadData(png_structp png, png_bytep out, size_t length) {
    auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
    size_t n = r->source->Copy(r->pos, length, out);
    if (n < length) png_error(png, "short read");
    r->pos += n;
}

void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// The info read; only plain data in this frame, as the library may jump out of it.
bool ReadInfo(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    // Every chunk but the critical ones and tRNS is skipped without processing.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // The header is reported as it stands, whatever its size.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);
    return true;
}

}  // namespace

bool ReadPngFacts(CByteSource& source, ImageFacts& facts) {
    PngReader r{&source, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &r, ReadData);
    bool ok = ReadInfo(png, info);
    if (ok) {
        png_uint_32 width = 0, height = 0;
        int depth = 0, colourType = 0;
        if (png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr,
                         nullptr) == 0) {
            ok = false;
        } else {
            facts.format = ImageFormat::Png;
            facts.width = width;
            facts.height = height;
            facts.bitsPerPixel = PngBitsPerPixel(colourType, depth);
            facts.pages = 1;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return ok && !source.HasMissed();
}

}  // namespace plat
