// GIF headers through the GIF library's record reads: the screen descriptor and global
// colour table, then every record to the trailer, counting image descriptors. Image
// data and extensions are stepped over block by block; nothing is decompressed, and
// no per-frame state is kept, so a file of many frames costs no memory.
#include <gif_lib.h>

#include "platform/image_formats.h"

namespace plat {
namespace {

struct GifReader {
    CByteSource* source;
    size_t pos;
};

int ReadData(GifFileType* gif, GifByteType* out, int length) {
    auto* r = static_cast<GifReader*>(gif->UserData);
    if (length <= 0) return 0;
    size_t n = r->source->Copy(r->pos, size_t(length), out);
    r->pos += n;
    return int(n);
}

// Walks the records after the header; the number of images met before the trailer,
// the end of the data or a damaged record.
UINT CountFrames(GifFileType* gif, int& firstLocalBits) {
    UINT frames = 0;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return frames;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR) return frames;
            ++frames;
            if (firstLocalBits == 0 && gif->Image.ColorMap != nullptr)
                firstLocalBits = gif->Image.ColorMap->BitsPerPixel;
            // The library keeps a copy of every descriptor read; none is needed here.
            GifFreeSavedImages(gif);
            gif->ImageCount = 0;
            int codeSize = 0;
            GifByteType* block = nullptr;
            if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return frames;
            while (block != nullptr)
                if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return frames;
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return frames;
            while (block != nullptr)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return frames;
        } else {
            return frames;  // the trailer
        }
    }
}

}  // namespace

bool ReadGifFacts(CByteSource& source, ImageFacts& facts) {
    GifReader r{&source, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&r, ReadData, &error);
    if (gif == nullptr) return false;
    int localBits = 0;
    UINT frames = CountFrames(gif, localBits);
    int bits = gif->SColorMap ? gif->SColorMap->BitsPerPixel : localBits;
    facts.format = ImageFormat::Gif;
    facts.width = UINT(gif->SWidth);
    facts.height = UINT(gif->SHeight);
    facts.bitsPerPixel = bits ? bits : 8;
    facts.pages = frames;
    DGifCloseFile(gif, &error);
    return frames > 0 && !source.HasMissed();
}

}  // namespace plat
