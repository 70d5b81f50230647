// Fixture tool: writes a small grey JPEG file (a gradient) with the system's JPEG
// library. Usage: make_jpeg <out.jpg> <width> <height>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>  // after <cstdio>: it needs size_t and FILE

int main(int argc, char** argv) {
    FILE* out = argc == 4 ? std::fopen(argv[1], "wb") : nullptr;
    if (out == nullptr) return 2;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // its errors end the tool
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = JDIMENSION(std::atoi(argv[2]));
    cinfo.image_height = JDIMENSION(std::atoi(argv[3]));
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(cinfo.image_width);
    for (JSAMPROW rows[1] = {row.data()}; cinfo.next_scanline < cinfo.image_height;) {
        for (size_t x = 0; x < row.size(); ++x)
            row[x] = JSAMPLE((x + cinfo.next_scanline) * 2);
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(out) == 0 ? 0 : 1;
}
