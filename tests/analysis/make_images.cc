// Fixture tool: writes small pictures of every format the image decoder knows, with the
// system's format libraries (JPEG, PNG, GIF, TIFF) or byte by byte (BMP, ICO).
// Usage: make_images <output folder>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
    FILE* f = std::fopen(PathOf(name).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::uint8_t Sample(int x, int y, int c) {
    return std::uint8_t((x * 37 + y * 11 + c * 71) & 0xFF);
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
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * size_t(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < components; ++c)
                row[size_t(x * components + c)] = Sample(x, int(cinfo.next_scanline), c);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0;
}

bool Png(const std::string& name, int w, int h, int colourType, int depth) {
    FILE* out = std::fopen(PathOf(name).c_str(), "wb");
    if (!out) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        for (int i = 0; i < 256; ++i)
            palette[i] = png_color{png_byte(i), png_byte(255 - i), png_byte(i / 2)};
        png_set_PLTE(png, info, palette, 1 << depth);
    }
    png_write_info(png, info);
    int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
    size_t rowBytes = (size_t(w) * size_t(channels) * size_t(depth) + 7) / 8;
    std::vector<png_byte> row(rowBytes);
    for (int y = 0; y < h; ++y) {
        for (size_t i = 0; i < rowBytes; ++i)
            row[i] = Sample(int(i), y, 0);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}

int GifWrite(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// `frames` frames of w x h with a global colour table of 2^bits colours.
bool Gif(const std::string& name, int w, int h, int frames, int bits) {
    Bytes bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, GifWrite, &error);
    if (!gif) return false;
    EGifSetGifVersion(gif, true);
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    for (int i = 0; i < (1 << bits); ++i)
        map->Colors[i] = GifColorType{GifByteType(i * 16), GifByteType(255 - i), 0};
    EGifPutScreenDesc(gif, w, h, bits, 0, map);
    for (int f = 0; f < frames; ++f) {
        // A graphic control extension (delay) before each frame, as animations have.
        GifByteType control[4] = {0, 10, 0, 0};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        std::vector<GifPixelType> line(static_cast<size_t>(w));
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                line[size_t(x)] = GifPixelType((x + y + f) % (1 << bits));
            EGifPutLine(gif, line.data(), w);
        }
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) == GIF_ERROR) return false;
    return WriteBytes(name, bytes);
}

// `v` as `n` little-endian bytes.
void Put(Bytes& b, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}

// A 40-byte info header (uncompressed) and the pixel rows of a bitmap, palette included;
// an icon's image counts the mask rows in its height and has the mask after its rows.
Bytes Dib(int w, int h, int bits, bool icon) {
    Bytes b;
    for (auto [v, n] : {std::pair<std::uint32_t, int>{40, 4},
                        {w, 4},
                        {icon ? 2 * h : h, 4},
                        {1, 2},
                        {bits, 2},
                        {0, 4},
                        {0, 4},
                        {2835, 4},
                        {2835, 4},
                        {0, 4},
                        {0, 4}})
        Put(b, v, n);
    for (int i = 0; bits <= 8 && i < (1 << bits); ++i)
        Put(b, std::uint32_t(i * 0x010101), 4);
    size_t stride = ((size_t(w) * size_t(bits) + 31) / 32) * 4, rows = size_t(h < 0 ? -h : h);
    for (size_t y = 0; y < rows; ++y)
        for (size_t i = 0; i < stride; ++i)
            b.push_back(Sample(int(i), int(y), 1));
    if (icon) b.insert(b.end(), ((size_t(w) + 31) / 32) * 4 * rows, 0);
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

// An icon file of the given images (each a DIB or PNG file's bytes) of the given sizes.
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

struct TiffPage {
    int w, h, samples, bits;
};

bool Tiff(const std::string& name, const std::vector<TiffPage>& pages) {
    TIFF* tif = TIFFOpen(PathOf(name).c_str(), "w");
    if (!tif) return false;
    for (const TiffPage& p : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(p.w));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(p.h));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(p.samples));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, std::uint16_t(p.bits));
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                     p.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::uint32_t(p.h));
        if (pages.size() > 1) TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        if (p.samples == 4) {
            std::uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
        }
        size_t stride = (size_t(p.w) * size_t(p.samples) * size_t(p.bits) + 7) / 8;
        std::vector<std::uint8_t> row(stride);
        for (int y = 0; y < p.h; ++y) {
            for (size_t i = 0; i < stride; ++i)
                row[i] = Sample(int(i), y, 2);
            if (TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) < 0) return false;
        }
        if (!TIFFWriteDirectory(tif)) return false;
    }
    TIFFClose(tif);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    g_dir = argv[1];
    bool ok = true;
    ok &= Jpeg("rgb.jpg", 64, 48, 3, JCS_RGB);
    ok &= Jpeg("grey.jpg", 40, 30, 1, JCS_GRAYSCALE);
    ok &= Jpeg("cmyk.jpg", 32, 24, 4, JCS_CMYK);
    ok &= Png("grey1.png", 17, 5, PNG_COLOR_TYPE_GRAY, 1);
    ok &= Png("grey8.png", 18, 6, PNG_COLOR_TYPE_GRAY, 8);
    ok &= Png("grey16.png", 19, 7, PNG_COLOR_TYPE_GRAY, 16);
    ok &= Png("greyalpha8.png", 20, 8, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
    ok &= Png("rgb8.png", 21, 9, PNG_COLOR_TYPE_RGB, 8);
    ok &= Png("rgb16.png", 22, 10, PNG_COLOR_TYPE_RGB, 16);
    ok &= Png("rgba8.png", 23, 11, PNG_COLOR_TYPE_RGB_ALPHA, 8);
    ok &= Png("rgba16.png", 24, 12, PNG_COLOR_TYPE_RGB_ALPHA, 16);
    ok &= Png("palette2.png", 25, 13, PNG_COLOR_TYPE_PALETTE, 2);
    ok &= Png("palette8.png", 26, 14, PNG_COLOR_TYPE_PALETTE, 8);
    ok &= Gif("anim.gif", 20, 10, 3, 4);
    ok &= Gif("still.gif", 12, 9, 1, 8);
    ok &= Bmp("rgb24.bmp", 7, 5, 24);
    ok &= Bmp("palette8.bmp", 9, 3, 8);
    ok &= Bmp("topdown32.bmp", 4, -6, 32);
    ok &= Png("icon48.png", 48, 48, PNG_COLOR_TYPE_RGB_ALPHA, 8);
    ok &= Ico("two.ico", {Dib(16, 16, 8, true), Dib(32, 32, 32, true)}, {16, 32});
    ok &= Ico("withpng.ico", {Dib(16, 16, 4, true), ReadBack("icon48.png")}, {16, 48});
    ok &= Tiff("pages.tif", {{30, 20, 3, 8}, {15, 10, 1, 8}, {8, 8, 1, 1}});
    ok &= Tiff("rgba16.tif", {{10, 6, 4, 16}});
    ok &= Tiff("camera.tif", {{16, 12, 3, 8}});
    ok &= Jpeg("camera.jpg", 64, 48, 3, JCS_RGB);
    ok &= Jpeg("camera_be.jpg", 48, 32, 3, JCS_RGB);
    ok &= Jpeg("south.jpg", 32, 32, 3, JCS_RGB);
    return ok ? 0 : 1;
}
