// JPEG headers through the JPEG library's header read: the markers up to the first
// scan header. The library pulls its bytes from the byte source run by run; skipped
// segments are stepped over without being read. The first APP1 "Exif" segment is
// located on the way and its TIFF structure gives the property items.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "platform/image_formats.h"

extern "C" {
#include <jpeglib.h>
}

namespace plat {
namespace {

struct JpegReader {
    jpeg_source_mgr pub;
    jpeg_error_mgr err;
    std::jmp_buf jump;
    CByteSource* source;
    size_t pos;        // the data offset after the bytes handed to the library
    bool atFakeEnd;    // the library is reading the end marker put after the data
    size_t exifBase;   // the TIFF header of the first "Exif" APP1 segment (0: none)
    size_t exifLimit;  // the end of that segment's body within the data
};

const JOCTET kEndMarker[2] = {0xFF, JPEG_EOI};

// The library keeps client_data across its creation, so the reader is found through it
// from the first call on.
JpegReader* Reader(j_decompress_ptr cinfo) {
    return static_cast<JpegReader*>(cinfo->client_data);
}

[[noreturn]] void Fail(j_common_ptr cinfo) {
    std::longjmp(static_cast<JpegReader*>(cinfo->client_data)->jump, 1);
}

void Silent(j_common_ptr, int) {}
void SilentOutput(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
    JpegReader* r = Reader(cinfo);
    const BYTE* run = nullptr;
    size_t n = r->source->GetRun(r->pos, &run);
    if (n == 0) {
        if (r->source->HasMissed()) Fail(reinterpret_cast<j_common_ptr>(cinfo));
        // The end of the data: an end-of-image marker, as a memory source gives.
        r->atFakeEnd = true;
        r->pub.next_input_byte = kEndMarker;
        r->pub.bytes_in_buffer = 2;
        return TRUE;
    }
    r->atFakeEnd = false;
    r->pub.next_input_byte = run;
    r->pub.bytes_in_buffer = n;
    r->pos += n;
    return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    JpegReader* r = Reader(cinfo);
    if (size_t(count) <= r->pub.bytes_in_buffer) {
        r->pub.next_input_byte += count;
        r->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    size_t beyond = size_t(count) - r->pub.bytes_in_buffer;
    r->pub.bytes_in_buffer = 0;
    if (!r->atFakeEnd) {
        size_t size = r->source->GetSize();
        r->pos = beyond > size - r->pos ? size : r->pos + beyond;
    }
}

int NextByte(j_decompress_ptr cinfo) {
    JpegReader* r = Reader(cinfo);
    if (r->pub.bytes_in_buffer == 0) FillInput(cinfo);
    --r->pub.bytes_in_buffer;
    return *r->pub.next_input_byte++;
}

// APP1: notes where the first "Exif" segment's TIFF structure lies, then skips the body.
boolean ReadApp1(j_decompress_ptr cinfo) {
    JpegReader* r = Reader(cinfo);
    int hi = NextByte(cinfo);
    int lo = NextByte(cinfo);
    long length = long(hi << 8 | lo) - 2;
    if (length <= 0) return TRUE;
    if (r->exifBase == 0 && !r->atFakeEnd && length >= 6) {
        size_t body = r->pos - r->pub.bytes_in_buffer;
        const BYTE* id = r->source->Get(body, 6);
        if (id == nullptr && r->source->HasMissed()) Fail(reinterpret_cast<j_common_ptr>(cinfo));
        if (id != nullptr && std::memcmp(id, "Exif\0\0", 6) == 0) {
            size_t size = r->source->GetSize();
            r->exifBase = body + 6;
            r->exifLimit = size_t(length) > size - body ? size : body + size_t(length);
        }
    }
    SkipInput(cinfo, length);
    return TRUE;
}

// The header read; only plain data in this frame, as the library may jump out of it.
bool ReadHeader(JpegReader& r, jpeg_decompress_struct& cinfo) {
    if (setjmp(r.jump)) return false;
    jpeg_create_decompress(&cinfo);
    cinfo.src = &r.pub;
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 1, ReadApp1);
    return jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
}

}  // namespace

bool ReadJpegFacts(CByteSource& source, ImageFacts& facts) {
    JpegReader r;
    std::memset(&r, 0, sizeof r);
    r.source = &source;
    r.pub.init_source = InitSource;
    r.pub.fill_input_buffer = FillInput;
    r.pub.skip_input_data = SkipInput;
    r.pub.resync_to_restart = jpeg_resync_to_restart;
    r.pub.term_source = TermSource;

    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&r.err);
    cinfo.client_data = &r;
    r.err.error_exit = Fail;
    r.err.emit_message = Silent;
    r.err.output_message = SilentOutput;
    bool ok = ReadHeader(r, cinfo);
    int bits = 0;
    if (ok) {
        switch (cinfo.num_components) {
            case 1:
                bits = 8;
                break;
            case 3:
                bits = 24;
                break;
            case 4:
                bits = 32;
                break;
            default:
                ok = false;
        }
        facts.format = ImageFormat::Jpeg;
        facts.width = cinfo.image_width;
        facts.height = cinfo.image_height;
        facts.bitsPerPixel = bits;
        facts.pages = 1;
    }
    jpeg_destroy_decompress(&cinfo);
    if (!ok) return false;
    if (r.exifBase != 0) ReadTiffItems(source, r.exifBase, r.exifLimit, facts.items);
    return !source.HasMissed();
}

}  // namespace plat
