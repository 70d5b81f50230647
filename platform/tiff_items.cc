// The property items of a TIFF structure: IFD0's entries in table order, with the EXIF
// and GPS directories read where IFD0 points to them (each at most once, and nothing
// below them, so the walk is linear in the data). Entries whose type is unknown or
// whose value does not lie wholly inside the structure are left out.
#include <algorithm>

#include "platform/image_formats.h"

namespace plat {
namespace {

constexpr PROPID kExifPointer = 0x8769;
constexpr PROPID kGpsPointer = 0x8825;

struct TiffWalk {
    CByteSource& source;
    size_t base;
    size_t limit;
    bool bigEndian;
    std::vector<PropertyRef>& items;

    WORD U16(const BYTE* p) const { return bigEndian ? Be16(p) : Le16(p); }
    DWORD U32(const BYTE* p) const { return bigEndian ? Be32(p) : Le32(p); }

    // Reads the directory at `offset` (from base); follows the two pointers when `top`.
    void ReadDirectory(std::uint64_t offset, bool top) {
        if (offset > limit - base || limit - base - offset < 2) return;
        const size_t table = base + size_t(offset);
        const BYTE* head = source.Get(table, 2);
        if (head == nullptr) return;
        const size_t count = U16(head);
        // Entries that do not fit before the limit are not read.
        const size_t fit = std::min(count, (limit - table - 2) / 12);
        const BYTE* entries = source.Get(table + 2, fit * 12);
        if (entries == nullptr) return;
        bool exifDone = false, gpsDone = false;
        for (size_t i = 0; i < fit; ++i) {
            const BYTE* e = entries + 12 * i;
            const WORD tag = U16(e);
            const WORD type = U16(e + 2);
            const DWORD n = U32(e + 4);
            const size_t unit = TiffTypeSize(type);
            if (unit == 0) continue;
            const std::uint64_t length = std::uint64_t(n) * unit;
            size_t valueAt;
            if (length <= 4) {
                valueAt = table + 2 + 12 * i + 8;
            } else {
                const std::uint64_t off = U32(e + 8);
                if (off > limit - base || length > limit - base - off) continue;
                valueAt = base + size_t(off);
            }
            items.push_back(PropertyRef{tag, type, n, valueAt, size_t(length), bigEndian});
            if (!top || n != 1 || (type != 4 && type != 13)) continue;
            if (tag == kExifPointer && !exifDone) {
                exifDone = true;
                ReadDirectory(U32(e + 8), false);
            } else if (tag == kGpsPointer && !gpsDone) {
                gpsDone = true;
                ReadDirectory(U32(e + 8), false);
            }
            if (source.HasMissed()) return;
        }
    }
};

}  // namespace

void ReadTiffItems(CByteSource& source, size_t base, size_t limit,
                   std::vector<PropertyRef>& items) {
    limit = std::min(limit, source.GetSize());
    if (base >= limit || limit - base < 8) return;
    const BYTE* head = source.Get(base, 8);
    if (head == nullptr) return;
    bool bigEndian;
    if (head[0] == 'I' && head[1] == 'I' && Le16(head + 2) == 42)
        bigEndian = false;
    else if (head[0] == 'M' && head[1] == 'M' && Be16(head + 2) == 42)
        bigEndian = true;
    else
        return;
    TiffWalk walk{source, base, limit, bigEndian, items};
    walk.ReadDirectory(walk.U32(head + 4), true);
}

}  // namespace plat
