#include "exiflib/registry.h"

#include <mutex>
#include <string>

#include "exiflib/ifd_seg.h"
#include "exiflib/iptc.h"
#include "exiflib/jfif.h"
#include "exiflib/markers.h"
#include "exiflib/qv.h"

namespace ExifLib {

CSegmentTrie& GetSegmentRegistry() {
    static CSegmentTrie registry;
    return registry;
}

bool Register(BYTE marker, const char* id, unsigned short idLength, SegmentFactory factory) {
    if (marker < 0xE0 || marker > 0xEF || factory == nullptr || (idLength != 0 && id == nullptr))
        return false;
    try {
        std::string key(1, char(marker));
        if (idLength) key.append(id, idLength);
        return GetSegmentRegistry().Insert(key.data(), key.size(), factory);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void InitExifLib() {
    static std::once_flag once;
    std::call_once(once, [] {
        BuildMarkerTables();
        Register(0xED, "Photoshop 3.0", 14, CIptc::Create);
        Register(0xE1, "Exif\0", 6, CExifApp1Seg::Create);
        Register(0xE0, "JFIF", 5, CJFIFApp0Seg::Create);
        Register(0xE0, "JFXX", 5, CJFIFApp0ExSeg::Create);
        Register(0xE1, "QVIMGDATA", 10, CQVApp1Seg::Create);
    });
}

}  // namespace ExifLib
