// Fixture tool: writes small pictures of every format the image decoder knows, with the
// system's format libraries (JPEG, PNG, GIF, TIFF) or byte by byte (BMP, ICO).
// Usage: make_images <output folder>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// The JPEG library's header needs size_t and FILE declared first.
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace {

using Bytes = std::vector<std::uint8_t>;
std::string g_dir;

std::string PathOf(const std::string& name) {
    return g_dir + "/" + name;
}

bool WriteBytes(const std::string& name, const Bytes& bytes) {
    std::ofstream out(PathOf(name), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

// A row of `bytes` bytes of a gradient.
std::vector<std::uint8_t> Row(size_t bytes, int y) {
    std::vector<std::uint8_t> row(bytes);
    for (size_t i = 0; i < bytes; ++i)
        row[i] = std::uint8_t(i * 37 + size_t(y) * 11);
    return row;
}

bool Jpeg(const std::string& name, int w, int h, int components, J_COLOR_SPACE space) {
    FILE* out = std::fopen(PathOf(name).c_str(), "wb");
    if (!out) return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        std::vector<JSAMPLE> row = Row(size_t(w * components), int(cinfo.next_scanline));
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

// The library's errors end the tool (its default handler), failing the build.
bool Png(const std::string& name, int w, int h, int colourType, int depth) {
    FILE* out = std::fopen(PathOf(name).c_str(), "wb");
    if (!out) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256] = {};
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 1 << depth);
    png_write_info(png, info);
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
    for (int y = 0; y < h; ++y)
        png_write_row(png, Row((size_t(w * channels[colourType] * depth) + 7) / 8, y).data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

// `frames` frames of w x h over a global table of 16 colours.
bool Gif(const std::string& name, int w, int h, int frames) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(PathOf(name).c_str(), false, &error);
    ColorMapObject* map = GifMakeMapObject(16, nullptr);
    bool ok = gif && EGifPutScreenDesc(gif, w, h, 4, 0, map) == GIF_OK;
    std::vector<GifPixelType> line(size_t(w), 3);
    for (int f = 0; ok && f < frames; ++f) {
        ok = EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
        for (int y = 0; y < h; ++y)
            ok = ok && EGifPutLine(gif, line.data(), w) == GIF_OK;
    }
    GifFreeMapObject(map);
    return gif && EGifCloseFile(gif, &error) == GIF_OK && ok;
}

// `v` as `n` little-endian bytes.
void Put(Bytes& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

// A 40-byte info header (uncompressed), a black palette and the pixel rows of a bitmap;
// an icon's image counts the mask rows in its height and has them after its rows.
Bytes Dib(int w, int h, int bits, bool icon) {
    Bytes b;
    for (int v : {40, w, icon ? 2 * h : h, 1 | bits << 16})  // the last: planes and bits
        Put(b, std::uint32_t(v), 4);
    b.resize(40 + (bits <= 8 ? 4u << bits : 0u), 0);
    const size_t rows = size_t(std::abs(h)), mask = icon ? (size_t(w) + 31) / 32 * 4 : 0;
    b.resize(b.size() + ((size_t(w) * size_t(bits) + 31) / 32 * 4 + mask) * rows, 0x5A);
    return b;
}

bool Bmp(const std::string& name, int w, int h, int bits) {
    Bytes dib = Dib(w, h, bits, false), b = {'B', 'M'};
    Put(b, std::uint32_t(14 + dib.size()), 4);
    Put(b, 0, 4);
    Put(b, 14 + 40 + (bits <= 8 ? 4u << bits : 0u), 4);
    b.insert(b.end(), dib.begin(), dib.end());
    return WriteBytes(name, b);
}

// An icon file of square images (each a DIB or a PNG file's bytes) of the given sizes.
bool Ico(const std::string& name, const std::vector<Bytes>& images, const std::vector<int>& sizes) {
    Bytes b = {0, 0, 1, 0, std::uint8_t(images.size()), 0};
    std::uint32_t offset = std::uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        b.insert(b.end(), {std::uint8_t(sizes[i]), std::uint8_t(sizes[i]), 0, 0, 1, 0, 32, 0});
        Put(b, std::uint32_t(images[i].size()), 4);
        Put(b, offset, 4);
        offset += std::uint32_t(images[i].size());
    }
    for (const Bytes& image : images)
        b.insert(b.end(), image.begin(), image.end());
    return WriteBytes(name, b);
}

Bytes ReadBack(const std::string& name) {
    std::ifstream in(PathOf(name), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A TIFF file of one page per {width, height, samples, bits per sample}.
bool Tiff(const std::string& name, const std::vector<std::array<int, 4>>& pages) {
    TIFF* tif = TIFFOpen(PathOf(name).c_str(), "w");
    bool ok = tif != nullptr;
    for (auto [w, h, samples, bits] : ok ? pages : std::vector<std::array<int, 4>>()) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(w));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(h));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(samples));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, std::uint16_t(bits));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::uint32_t(h));
        for (int y = 0; y < h; ++y)
            ok = ok && TIFFWriteScanline(tif, Row(size_t(w * samples * bits + 7) / 8, y).data(),
                                         std::uint32_t(y), 0) >= 0;
        ok = ok && TIFFWriteDirectory(tif);
    }
    if (tif) TIFFClose(tif);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    const bool ok =
        Jpeg("rgb.jpg", 64, 48, 3, JCS_RGB) && Jpeg("grey.jpg", 40, 30, 1, JCS_GRAYSCALE) &&
        Jpeg("cmyk.jpg", 32, 24, 4, JCS_CMYK) && Png("grey1.png", 17, 5, PNG_COLOR_TYPE_GRAY, 1) &&
        Png("greyalpha8.png", 20, 8, PNG_COLOR_TYPE_GRAY_ALPHA, 8) &&
        Png("rgb16.png", 22, 10, PNG_COLOR_TYPE_RGB, 16) &&
        Png("palette2.png", 25, 13, PNG_COLOR_TYPE_PALETTE, 2) &&
        Png("rgba8.png", 24, 24, PNG_COLOR_TYPE_RGB_ALPHA, 8) && Gif("anim.gif", 20, 10, 3) &&
        Bmp("rgb24.bmp", 7, 5, 24) && Bmp("topdown32.bmp", 4, -6, 32) &&
        Ico("three.ico", {Dib(16, 16, 8, true), Dib(32, 32, 32, true), ReadBack("rgba8.png")},
            {16, 32, 24}) &&
        Tiff("pages.tif", {{30, 20, 3, 8}, {15, 10, 1, 8}, {8, 8, 1, 1}});
    return ok ? 0 : 1;
}
