#include "exiflib/ifd_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"

namespace ExifLib {
namespace {

// One 12-byte entry as stored, with its numbers in host order.
struct RawEntry {
    WORD tag;
    WORD type;
    DWORD count;
    // The value field. A value that fits in it is decoded from these bytes by its
    // reader, element by element in the data's byte order; otherwise `offset` (the field
    // read as one 32-bit number) says where the value lies. In big-endian data a field
    // whose type and count make it an offset has been turned round as one 32-bit number
    // before any reader sees it (see HoldsOffset), so a reader that takes such a field as
    // a value of its own (the single SHORT or LONG readers) gets its bytes reversed.
    BYTE field[4];
    DWORD offset;
};

// Whether the value field of an entry holds an offset, by its type and count: the types
// that have a size (BYTE, ASCII, UNDEFINED, SHORT, LONG, RATIONAL, SRATIONAL) whose
// values take more than 4 bytes. SLONG and unknown types never count as offsets here.
bool HoldsOffset(WORD type, DWORD count) {
    switch (type) {
        case kTypeByte:
        case kTypeAscii:
        case kTypeUndefined:
            return count > 4;
        case kTypeShort:
            return count > 2;
        case kTypeLong:
            return count > 1;
        case kTypeRational:
        case kTypeSRational:
            return true;
        default:
            return false;
    }
}

constexpr TagRule Rule(WORD tag, ValueRule rule, DWORD exactCount = 0, DWORD minCount = 1,
                       CIFD* (*readSub)(const IFDReadContext&) = nullptr) {
    return TagRule{tag, rule, exactCount, minCount, readSub};
}

template <size_t N>
constexpr std::array<TagRule, N> SortedRules(std::array<TagRule, N> rules) {
    std::sort(rules.begin(), rules.end(),
              [](const TagRule& a, const TagRule& b) { return a.tag < b.tag; });
    return rules;
}

bool ReadBounded(const IFDReadContext& ctx, void* buffer, int count) {
    std::int64_t pos = ctx.io->Tell();
    if (pos < 0 || pos + count > ctx.limit) return false;
    return ReadAll(ctx.io, buffer, count);
}

template <typename T>
T Element(const BYTE* p, bool big) {
    if constexpr (sizeof(T) == 1) {
        return T(p[0]);
    } else if constexpr (std::is_same_v<T, short>) {
        return short(Get16(p, big));
    } else if constexpr (std::is_same_v<T, LONG>) {
        return LONG(Get32(p, big));
    } else {
        using Half = decltype(T::numerator);
        return T{Half(Get32(p, big)), Half(Get32(p + 4, big))};
    }
}

template <typename T>
IIFDEntry* MakeEntry(WORD tag, WORD type, DWORD count, const BYTE* bytes, bool big) {
    T* values = nullptr;
    if (!AllocationRefused(size_t(count) * sizeof(T))) values = new (std::nothrow) T[count];
    if (values == nullptr) {
        ShowFatalError();
        return nullptr;
    }
    for (DWORD i = 0; i < count; ++i)
        values[i] = Element<T>(bytes + size_t(i) * sizeof(T), big);
    auto* entry = new (std::nothrow) CNormalIFDEntry<T>(tag, type, count, values);
    if (entry == nullptr) {
        delete[] values;
        ShowFatalError();
    }
    return entry;
}

// `count` values of T, held inside the entry when they fit in its 4 bytes, otherwise at
// base + offset. A value that does not lie wholly inside the data gives null.
template <typename T>
IIFDEntry* ReadArray(const IFDReadContext& ctx, const RawEntry& r) {
    std::uint64_t bytes = std::uint64_t(r.count) * sizeof(T);
    if (bytes <= 4) return MakeEntry<T>(r.tag, r.type, r.count, r.field, ctx.bigEndian);
    std::int64_t at = std::int64_t(ctx.base) + r.offset;
    if (at < 0 || std::uint64_t(at) + bytes > std::uint64_t(ctx.limit)) return nullptr;
    if (std::int64_t(bytes) > ctx.budget || !SeekExact(ctx.io, at)) return nullptr;
    ctx.budget -= std::int64_t(bytes);
    std::unique_ptr<BYTE[]> raw = NewBytes(size_t(bytes));
    if (!raw || !ReadAll(ctx.io, raw.get(), int(bytes))) return nullptr;
    return MakeEntry<T>(r.tag, r.type, r.count, raw.get(), ctx.bigEndian);
}

IIFDEntry* ReadSubIFD(const IFDReadContext& ctx, const RawEntry& r, const TagRule& rule) {
    std::int64_t at = std::int64_t(ctx.base) + r.offset;
    if (rule.readSub == nullptr || at + 2 > ctx.limit || !SeekExact(ctx.io, at)) return nullptr;
    CIFD* sub = rule.readSub(ctx);
    if (sub == nullptr) return nullptr;
    auto* entry = new (std::nothrow) CIFDIFDEntry(r.tag, sub);
    if (entry == nullptr) {
        delete sub;
        ShowFatalError();
    }
    return entry;
}

IIFDEntry* ReadValue(const IFDReadContext& ctx, const RawEntry& r, const TagRule& rule) {
    static const WORD kTypeOf[] = {kTypeAscii, kTypeUndefined, kTypeByte,
                                   kTypeShort, kTypeRational,  kTypeSRational};
    switch (rule.rule) {
        case ValueRule::Short1:
            return MakeEntry<short>(r.tag, kTypeShort, 1, r.field, ctx.bigEndian);
        case ValueRule::Long1:
            return MakeEntry<LONG>(r.tag, kTypeLong, 1, r.field, ctx.bigEndian);
        case ValueRule::PixelDim:
            if (r.type == kTypeShort)
                return CSingleLongOrShortEntry::CreateShort(r.tag, Get16(r.field, ctx.bigEndian));
            return CSingleLongOrShortEntry::CreateLong(r.tag, Get32(r.field, ctx.bigEndian));
        case ValueRule::SubIFD:
            if (r.type != kTypeLong || r.count != 1) return nullptr;
            return ReadSubIFD(ctx, r, rule);
        default:
            break;
    }
    // The typed arrays: the type must match and the count fit the rule.
    if (r.type != kTypeOf[int(rule.rule)]) return nullptr;
    if (rule.exactCount ? r.count != rule.exactCount : r.count < rule.minCount) return nullptr;
    switch (rule.rule) {
        case ValueRule::Ascii:
            return ReadArray<char>(ctx, r);
        case ValueRule::Undefined:
        case ValueRule::Byte:
            return ReadArray<unsigned char>(ctx, r);
        case ValueRule::ShortList:
            return ReadArray<short>(ctx, r);
        case ValueRule::Rational:
            return ReadArray<tagRational>(ctx, r);
        case ValueRule::SRational:
            return ReadArray<tagSRational>(ctx, r);
        default:
            return nullptr;
    }
}

// --- The directories' tag tables -------------------------------------------------------

CIFD* ReadExifAt(const IFDReadContext& ctx);
CIFD* ReadGpsAt(const IFDReadContext& ctx);
CIFD* ReadInterOpAt(const IFDReadContext& ctx);

using VR = ValueRule;

constexpr auto kIfd0Rules = SortedRules(std::array{Rule(0x010E, VR::Ascii),
                                                   Rule(0x010F, VR::Ascii),
                                                   Rule(0x0110, VR::Ascii),
                                                   Rule(0x0131, VR::Ascii),
                                                   Rule(0x013B, VR::Ascii),
                                                   Rule(0x8298, VR::Ascii),
                                                   Rule(0x0112, VR::Short1),
                                                   Rule(0x0128, VR::Short1),
                                                   Rule(0x0213, VR::Short1),
                                                   Rule(0x011A, VR::Rational, 1),
                                                   Rule(0x011B, VR::Rational, 1),
                                                   Rule(0x012D, VR::ShortList, 768),
                                                   Rule(0x0132, VR::Ascii, 20),
                                                   Rule(0x013E, VR::Rational, 2),
                                                   Rule(0x013F, VR::Rational, 6),
                                                   Rule(0x0214, VR::Rational, 6),
                                                   Rule(0x0211, VR::Rational, 3),
                                                   Rule(0x8769, VR::SubIFD, 0, 1, ReadExifAt),
                                                   Rule(0x8825, VR::SubIFD, 0, 1, ReadGpsAt),
                                                   Rule(0xA005, VR::SubIFD, 0, 1, ReadInterOpAt)});

constexpr auto kExifRules =
    SortedRules(std::array{Rule(0x829A, VR::Rational, 1),     Rule(0x829D, VR::Rational, 1),
                           Rule(0x9102, VR::Rational, 1),     Rule(0x9202, VR::Rational, 1),
                           Rule(0x9205, VR::Rational, 1),     Rule(0x9206, VR::Rational, 1),
                           Rule(0x920A, VR::Rational, 1),     Rule(0xA20B, VR::Rational, 1),
                           Rule(0xA20E, VR::Rational, 1),     Rule(0xA20F, VR::Rational, 1),
                           Rule(0xA215, VR::Rational, 1),     Rule(0x9201, VR::SRational, 1),
                           Rule(0x9203, VR::SRational, 1),    Rule(0x9204, VR::SRational, 1),
                           Rule(0x8822, VR::Short1),          Rule(0x9207, VR::Short1),
                           Rule(0x9208, VR::Short1),          Rule(0x9209, VR::Short1),
                           Rule(0xA001, VR::Short1),          Rule(0xA210, VR::Short1),
                           Rule(0xA217, VR::Short1),          Rule(0x8827, VR::ShortList),
                           Rule(0x9003, VR::Ascii, 20),       Rule(0x9004, VR::Ascii, 20),
                           Rule(0x9290, VR::Ascii),           Rule(0x9291, VR::Ascii),
                           Rule(0x9292, VR::Ascii),           Rule(0x8824, VR::Undefined),
                           Rule(0x8828, VR::Undefined),       Rule(0x927C, VR::Undefined),
                           Rule(0x9286, VR::Undefined, 0, 9), Rule(0xA20C, VR::Undefined),
                           Rule(0xA300, VR::Undefined),       Rule(0xA302, VR::Undefined),
                           Rule(0x9000, VR::Undefined, 4),    Rule(0x9101, VR::Undefined, 4),
                           Rule(0xA000, VR::Undefined, 4),    Rule(0xA002, VR::PixelDim),
                           Rule(0xA003, VR::PixelDim),        Rule(0xA004, VR::Ascii, 13),
                           Rule(0xA214, VR::ShortList, 2),    Rule(0xA301, VR::Undefined, 1)});

constexpr auto kGpsRules = SortedRules(
    std::array{Rule(0, VR::Byte, 4),      Rule(1, VR::Ascii, 2),     Rule(2, VR::Rational, 3),
               Rule(3, VR::Ascii, 2),     Rule(4, VR::Rational, 3),  Rule(5, VR::Byte, 1),
               Rule(6, VR::Rational, 1),  Rule(7, VR::Rational, 3),  Rule(8, VR::Ascii),
               Rule(9, VR::Ascii, 2),     Rule(10, VR::Ascii, 2),    Rule(11, VR::Rational, 1),
               Rule(12, VR::Ascii, 2),    Rule(13, VR::Rational, 1), Rule(14, VR::Ascii, 2),
               Rule(15, VR::Rational, 1), Rule(16, VR::Ascii, 2),    Rule(17, VR::Rational, 1),
               Rule(18, VR::Ascii),       Rule(19, VR::Ascii, 2),    Rule(20, VR::Rational, 3),
               Rule(21, VR::Ascii, 2),    Rule(22, VR::Rational, 3), Rule(23, VR::Ascii, 2),
               Rule(24, VR::Rational, 1), Rule(25, VR::Ascii, 2),    Rule(26, VR::Rational, 1)});

constexpr auto kIfd1Rules = SortedRules(
    std::array{Rule(0x0103, VR::Short1), Rule(0x0201, VR::Long1), Rule(0x0202, VR::Long1)});

template <typename Dir>
Dir* NewDirectory() {
    Dir* dir = new (std::nothrow) Dir;
    if (dir == nullptr) ShowFatalError();
    return dir;
}

template <typename Dir>
CIFD* ReadPlain(const IFDReadContext& ctx, std::span<const TagRule> rules) {
    std::unique_ptr<Dir> dir(NewDirectory<Dir>());
    if (!dir) return nullptr;
    ReadEntries(ctx, dir.get(), rules);
    return dir->GetEntryCount() ? dir.release() : nullptr;
}

CIFD* ReadExifAt(const IFDReadContext& ctx) {
    return ReadPlain<CJPEGExifIFD>(ctx, kExifRules);
}
CIFD* ReadGpsAt(const IFDReadContext& ctx) {
    return ReadPlain<CJPEGGpsIFD>(ctx, kGpsRules);
}
// The interoperability directory's tags are not kept, so it never yields a directory;
// its table is still walked like any other.
CIFD* ReadInterOpAt(const IFDReadContext& ctx) {
    return ReadPlain<CJPEGInterOperIFD>(ctx, {});
}

DWORD LongValue(const CIFD& ifd, WORD tag) {
    auto* e = dynamic_cast<const CNormalIFDEntry<LONG>*>(ifd.GetEntry(tag));
    return e ? DWORD(e->GetValue(0)) : 0;
}

CIFD* ReadIFD1At(const IFDReadContext& ctx) {
    std::unique_ptr<CJPEGIFD1> dir(NewDirectory<CJPEGIFD1>());
    if (!dir) return nullptr;
    ReadEntries(ctx, dir.get(), kIfd1Rules);
    if (!dir->HasEntry(0x0201) || !dir->HasEntry(0x0202)) return nullptr;
    DWORD offset = LongValue(*dir, 0x0201), length = LongValue(*dir, 0x0202);
    if (length < 1 || length > 100000000) return nullptr;
    std::int64_t at = std::int64_t(ctx.base) + offset;
    if (at + length > ctx.limit || length > ctx.budget || !SeekExact(ctx.io, at)) return nullptr;
    ctx.budget -= length;
    std::unique_ptr<BYTE[]> thumb = NewBytes(length);
    if (!thumb || !ReadAll(ctx.io, thumb.get(), int(length))) return nullptr;
    bool set = dir->SetThumbnail(thumb.release(), length);  // the directory owns it now
    return set ? dir.release() : nullptr;
}

CIFD* ReadIFD0At(const IFDReadContext& ctx) {
    std::unique_ptr<CJPEGIFD0> dir(NewDirectory<CJPEGIFD0>());
    if (!dir) return nullptr;
    // An entry table cut short by the end of the segment leaves nothing after it to read,
    // just as a short read at the end of the data would: then there is no next offset.
    BYTE next[4];
    if (ReadEntries(ctx, dir.get(), kIfd0Rules) && ReadBounded(ctx, next, 4)) {
        DWORD offset = Get32(next, ctx.bigEndian);
        std::int64_t at = std::int64_t(ctx.base) + offset;
        if (offset != 0 && at + 2 <= ctx.limit && SeekExact(ctx.io, at))
            dir->SetNext(ReadIFD1At(ctx));
    }
    if (dir->GetEntryCount() == 0 && dir->GetNext() == nullptr) return nullptr;
    return dir.release();
}

}  // namespace

IFDReadContext MakeReadContext(IIO* io, int base, bool bigEndian, int limit) {
    std::int64_t size = io ? io->GetSize() : 0;
    std::int64_t end = limit < 0 || limit > size ? size : limit;
    return IFDReadContext{io, base, bigEndian, end, end > base ? end - base : 0};
}

bool ReadEntries(const IFDReadContext& ctx, CIFD* ifd, std::span<const TagRule> rules) {
    BYTE head[2];
    if (ctx.io == nullptr || ifd == nullptr || !ReadBounded(ctx, head, 2)) return false;
    int count = Get16(head, ctx.bigEndian);
    std::array<std::uint8_t, 64> pointerTries{};  // by rule index
    for (int i = 0; i < count; ++i) {
        BYTE e[12];
        if (!ReadBounded(ctx, e, 12)) return false;
        RawEntry r;
        r.tag = Get16(e, ctx.bigEndian);
        r.type = Get16(e + 2, ctx.bigEndian);
        r.count = Get32(e + 4, ctx.bigEndian);
        std::memcpy(r.field, e + 8, 4);
        r.offset = Get32(e + 8, ctx.bigEndian);
        if (ctx.bigEndian && HoldsOffset(r.type, r.count)) std::reverse(r.field, r.field + 4);
        if (ifd->HasEntry(r.tag)) continue;
        auto rule = std::lower_bound(rules.begin(), rules.end(), r.tag,
                                     [](const TagRule& a, WORD tag) { return a.tag < tag; });
        if (rule == rules.end() || rule->tag != r.tag) continue;
        if (rule->rule == ValueRule::SubIFD) {
            size_t index = size_t(rule - rules.begin());
            if (index >= pointerTries.size() || pointerTries[index] >= kMaxPointerTries) continue;
            ++pointerTries[index];
        }
        int resume = ctx.io->Tell();
        try {
            ifd->SetEntry(ReadValue(ctx, r, *rule));
        } catch (const std::bad_alloc&) {
            ShowFatalError();
        }
        if (!SeekExact(ctx.io, resume)) return false;
    }
    return true;
}

CIFD* ReadIFD0(IIO* io, int base, bool bigEndian, int limit) {
    return io ? ReadIFD0At(MakeReadContext(io, base, bigEndian, limit)) : nullptr;
}
CIFD* ReadExifIFD(IIO* io, int base, bool bigEndian, int limit) {
    return io ? ReadExifAt(MakeReadContext(io, base, bigEndian, limit)) : nullptr;
}
CIFD* ReadGpsIFD(IIO* io, int base, bool bigEndian, int limit) {
    return io ? ReadGpsAt(MakeReadContext(io, base, bigEndian, limit)) : nullptr;
}
CIFD* ReadInterOpIFD(IIO* io, int base, bool bigEndian, int limit) {
    return io ? ReadInterOpAt(MakeReadContext(io, base, bigEndian, limit)) : nullptr;
}
CIFD* ReadIFD1(IIO* io, int base, bool bigEndian, int limit) {
    return io ? ReadIFD1At(MakeReadContext(io, base, bigEndian, limit)) : nullptr;
}

}  // namespace ExifLib
