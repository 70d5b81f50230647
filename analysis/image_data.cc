#include "analysis/image_data.h"

#include <cstring>
#include <new>
#include <string>

#include "analysis/source_io.h"
#include "db/text_codec.h"
#include "exiflib/exiflib.h"
#include "picdex/common_func.h"

namespace {

// IPTC keys (record 2) and their text fields.
struct IptcKey {
    int key;
    CString _tagIptcInfo::*field;
};
constexpr IptcKey kIptcKeys[] = {
    {0x219, &_tagIptcInfo::strKeyWord},   {0x278, &_tagIptcInfo::strTitle},
    {0x20F, &_tagIptcInfo::strClass},     {0x25C, &_tagIptcInfo::strLocation},
    {0x25A, &_tagIptcInfo::strCity},      {0x265, &_tagIptcInfo::strCountry},
    {0x274, &_tagIptcInfo::strCopyRight}, {0x27A, &_tagIptcInfo::strWriter},
};

// EXIF text keys.
struct TextKey {
    int key;
    CString _tagExifInfo::*field;
};
constexpr TextKey kExifTextKeys[] = {
    {0x10F, &_tagExifInfo::strManufacturer},
    {0x110, &_tagExifInfo::strModel},
};

// EXIF fraction keys and their numerator / denominator fields.
struct FractionKey {
    int key;
    int _tagExifInfo::*numerator;
    int _tagExifInfo::*denominator;
};
constexpr FractionKey kFractionKeys[] = {
    {0x829A, &_tagExifInfo::iExposureTimeL, &_tagExifInfo::iExposureTimeR},
    {0x829D, &_tagExifInfo::iApertureL, &_tagExifInfo::iApertureR},
    {0x9204, &_tagExifInfo::iExposureCompL, &_tagExifInfo::iExposureCompR},
    {0x920A, &_tagExifInfo::iFocalLenL, &_tagExifInfo::iFocalLenR},
    {0x9205, &_tagExifInfo::iWTL, &_tagExifInfo::iWTR},
};

constexpr int kIsoKey = 0x8827;
constexpr int kDigitisedKey = 0x9004;
constexpr WORD kExifPointer = 0x8769;
constexpr WORD kGpsPointer = 0x8825;
constexpr WORD kInteropPointer = 0xA005;

// A text as it is stored: it ends at its first NUL.
CString Stored(const CString& text) {
    size_t nul = text.find(L'\0');
    return nul == CString::npos ? text : text.substr(0, nul);
}

CString Decimal(long long value) {
    wchar_t digits[24];
    wchar_t* p = digits + 24;
    unsigned long long v = value < 0 ? 0ull - (unsigned long long)value : (unsigned long long)value;
    do {
        *--p = wchar_t(L'0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0) *--p = L'-';
    return CString(p, digits + 24);
}

// ------------------------------------------------------------------ the tag map

// The text of a reader entry by its type; false when the type is not kept.
bool EntryText(const ExifLib::IIFDEntry* entry, CString& text) {
    using namespace ExifLib;
    if (auto* single = dynamic_cast<const CSingleLongOrShortEntry*>(entry))
        entry = single->GetInner();
    if (entry->GetCount() == 0) return false;
    switch (entry->GetType()) {
        case kTypeAscii:
        case kTypeUndefined:
            if (auto* c = dynamic_cast<const CNormalIFDEntry<char>*>(entry)) {
                text = AnsiToWide(std::string(c->GetValues(), c->GetCount()));
            } else if (auto* b = dynamic_cast<const CNormalIFDEntry<unsigned char>*>(entry)) {
                text = AnsiToWide(
                    std::string(reinterpret_cast<const char*>(b->GetValues()), b->GetCount()));
            } else {
                text = L"????";
            }
            return true;
        case kTypeShort:
            if (auto* s = dynamic_cast<const CNormalIFDEntry<short>*>(entry)) {
                text = Decimal(s->GetValue(0));
                return true;
            }
            return false;
        case kTypeRational:
            if (auto* r = dynamic_cast<const CNormalIFDEntry<tagRational>*>(entry)) {
                tagRational v = r->GetValue(0);
                text = Decimal(v.numerator) + L"/" + Decimal(v.denominator);
                return true;
            }
            return false;
        case kTypeSRational:
            if (auto* r = dynamic_cast<const CNormalIFDEntry<tagSRational>*>(entry)) {
                tagSRational v = r->GetValue(0);
                text = Decimal(v.numerator) + L"/" + Decimal(v.denominator);
                return true;
            }
            return false;
        case kTypeSLong:
            if (auto* l = dynamic_cast<const CNormalIFDEntry<LONG>*>(entry)) {
                text = Decimal(l->GetValue(0));
                return true;
            }
            return false;
        default:
            return false;
    }
}

// Whether a key is one MapTags reads.
bool IsMappedKey(int key) {
    for (const IptcKey& k : kIptcKeys)
        if (k.key == key) return true;
    for (const TextKey& k : kExifTextKeys)
        if (k.key == key) return true;
    for (const FractionKey& k : kFractionKeys)
        if (k.key == key) return true;
    return key == kIsoKey || key == kDigitisedKey;
}

// A directory's entries in order; the EXIF and GPS directories are walked where they
// are pointed to. The reader keeps no pointer below those two, so the depth is bounded;
// the limit only guards against a structure made by other means. With `mappedOnly`,
// only the keys MapTags reads are converted to text (a maker note's tens of kilobytes
// are never looked at).
void WalkDirectory(const ExifLib::CIFD* ifd, CTagMap& tagMap, int depth, bool mappedOnly) {
    for (const auto& [tag, entry] : ifd->GetEntries()) {
        if (tag == kInteropPointer) continue;
        if (tag == kExifPointer || tag == kGpsPointer) {
            auto* pointer = dynamic_cast<const ExifLib::CIFDIFDEntry*>(entry.get());
            if (pointer != nullptr && pointer->GetIFD() != nullptr) {
                if (depth < 4) WalkDirectory(pointer->GetIFD(), tagMap, depth + 1, mappedOnly);
                continue;
            }
        }
        if (mappedOnly && !IsMappedKey(tag)) continue;
        CString text;
        if (EntryText(entry.get(), text)) tagMap[tag] = std::move(text);
    }
}

int BuildTagMapFrom(ExifLib::IIO& io, CTagMap& tagMap, bool mappedOnly) {
    if (!ExifLib::IsJpeg(&io)) return 1;
    ExifLib::InitExifLib();
    ExifLib::CAppSegMgr segments;
    if (!segments.Parse(&io)) return 0;
    if (const ExifLib::CIptc* iptc = segments.GetIptc()) {
        for (const auto& [key, data] : iptc->GetDatasets()) {
            if (key.size() != 2) continue;
            int k = int(BYTE(key[0])) * 256 + int(BYTE(key[1]));
            if (!mappedOnly || IsMappedKey(k)) tagMap[k] = AnsiToWide(data);
        }
    }
    if (const ExifLib::CExifApp1Seg* exif = segments.GetExif())
        if (const ExifLib::CIFD* ifd0 = exif->GetIFD0()) WalkDirectory(ifd0, tagMap, 0, mappedOnly);
    return 1;
}

// ------------------------------------------------------------------ text readings

// The value of the first run of decimal digits (wrapping at 32 bits); false without one.
bool FirstNumber(const CString& text, int& value) {
    size_t p = text.find_first_of(L"0123456789");
    if (p == CString::npos) return false;
    std::uint32_t v = 0;
    for (; p < text.size() && text[p] >= L'0' && text[p] <= L'9'; ++p)
        v = v * 10u + std::uint32_t(text[p] - L'0');
    value = int(v);
    return true;
}

// A date text's first second; false (time untouched) when it is not a date.
bool ReadTime(const CString& text, CTime& time) {
    CTime from, to;
    if (!CCommonFunc::CanBeTime(text.c_str(), from, to)) return false;
    time = from;
    return true;
}

// ------------------------------------------------------------------ property items

std::uint32_t U32At(const PropertyItem& item, size_t index) {
    std::uint32_t v;
    std::memcpy(&v, static_cast<const BYTE*>(item.value) + 4 * index, 4);
    return v;
}

std::uint16_t U16At(const PropertyItem& item, size_t index) {
    std::uint16_t v;
    std::memcpy(&v, static_cast<const BYTE*>(item.value) + 2 * index, 2);
    return v;
}

// The text of an item by its type; false for a type that has none.
bool ItemText(const PropertyItem& item, CString& text) {
    const BYTE* bytes = static_cast<const BYTE*>(item.value);
    text.clear();
    switch (item.type) {
        case PropertyTagTypeByte:
        case PropertyTagTypeASCII:
            text = AnsiToWide(std::string(reinterpret_cast<const char*>(bytes), item.length));
            return true;
        case PropertyTagTypeShort:
            for (size_t i = 0; i < item.length / 2; ++i) {
                if (i) text += L",";
                text += Decimal(std::int16_t(U16At(item, i)));
            }
            return true;
        case PropertyTagTypeLong:
        case PropertyTagTypeSLONG:
            for (size_t i = 0; i < item.length / 4; ++i) {
                if (i) text += L",";
                std::uint32_t v = U32At(item, i);
                text += item.type == PropertyTagTypeLong ? Decimal(v) : Decimal(std::int32_t(v));
            }
            return true;
        case PropertyTagTypeRational:
        case PropertyTagTypeSRational:
            for (size_t i = 0; i < item.length / 8; ++i) {
                if (i) text += L",";
                std::uint32_t n = U32At(item, 2 * i), d = U32At(item, 2 * i + 1);
                if (item.type == PropertyTagTypeRational)
                    text += Decimal(n) + L"/" + Decimal(d);
                else
                    text += Decimal(std::int32_t(n)) + L"/" + Decimal(std::int32_t(d));
            }
            return true;
        default:
            return false;
    }
}

// A time item: BYTE or ASCII text read as a date, or three RATIONALs read as hours,
// minutes and seconds after 1970-01-01 00:00:00 UTC. Returns whether the item was
// found in a usable form (which marks the record); `time` is set when it was read.
bool ItemTime(const plat::Image& image, PROPID id, CTime& time) {
    CPropertyItemPtr item = GetPropertyItem(image, id);
    if (!item || item->length == 0) return false;
    if (item->type == PropertyTagTypeByte || item->type == PropertyTagTypeASCII) {
        CString text;
        ItemText(*item, text);
        ReadTime(Stored(text), time);
        return true;
    }
    if (item->type == PropertyTagTypeRational && item->length == 24) {
        std::int64_t part[3];
        for (size_t i = 0; i < 3; ++i) {
            std::uint32_t n = U32At(*item, 2 * i), d = U32At(*item, 2 * i + 1);
            part[i] = d != 0 ? n / d : n;
        }
        time = CTime(part[0] * 3600 + part[1] * 60 + part[2]);
        return true;
    }
    return false;
}

// A GPS position in seconds of arc from a degrees/minutes/seconds item and its
// reference item; false when either is missing or unusable.
bool ItemPosition(const plat::Image& image, PROPID valueId, PROPID refId, wchar_t positive,
                  int& seconds) {
    CPropertyItemPtr item = GetPropertyItem(image, valueId);
    if (!item || item->type != PropertyTagTypeRational || item->length < 24) return false;
    const std::uint32_t degrees = U32At(*item, 0);
    const std::uint32_t minutes = U32At(*item, 2), minutesDen = U32At(*item, 3);
    const std::uint32_t secs = U32At(*item, 4);
    // A zero minutes denominator makes the position unusable.
    if (minutesDen == 0) return false;
    std::uint32_t value = degrees * 3600u + minutes * 60u / minutesDen + secs;
    CPropertyItemPtr ref = GetPropertyItem(image, refId);
    if (!ref) return false;
    int result = int(value);
    if (ref->type == PropertyTagTypeASCII && ref->length >= 1) {
        wchar_t c = wchar_t(static_cast<const BYTE*>(ref->value)[0]);
        if (c != positive && c != wchar_t(positive - L'A' + L'a')) result = int(0u - value);
    }
    seconds = result;
    return true;
}

}  // namespace

// ------------------------------------------------------------------ public

int BuildTagMap(const BYTE* data, UINT size, CTagMap& tagMap) {
    ExifLib::CMemReadIO io(data, int(size));
    return BuildTagMapFrom(io, tagMap, false);
}

int BuildTagMap(CByteSource& source, CTagMap& tagMap) {
    CSourceIO io(source);
    return BuildTagMapFrom(io, tagMap, false);
}

void MapTags(const CTagMap& tagMap, _tagFileDetail& detail) {
    _tagFileInfo& file = detail.fileInfo;
    _tagExifInfo& exif = detail.exifInfo;
    for (const IptcKey& k : kIptcKeys) {
        auto it = tagMap.find(k.key);
        if (it == tagMap.end()) continue;
        detail.iptcInfo.*k.field = Stored(it->second);
        file.iIptcID = 0;
    }
    for (const TextKey& k : kExifTextKeys) {
        auto it = tagMap.find(k.key);
        if (it == tagMap.end()) continue;
        exif.*k.field = Stored(it->second);
        file.iExifID = 0;
    }
    for (const FractionKey& k : kFractionKeys) {
        auto it = tagMap.find(k.key);
        int n, d;
        if (it == tagMap.end() || !CCommonFunc::CanBeFrac(it->second.c_str(), n, d)) continue;
        exif.*k.numerator = n;
        exif.*k.denominator = d;
        file.iExifID = 0;
    }
    if (auto it = tagMap.find(kIsoKey); it != tagMap.end()) {
        int iso;
        if (FirstNumber(it->second, iso)) {
            exif.iISO = iso;
            file.iExifID = 0;
        }
    }
    if (auto it = tagMap.find(kDigitisedKey); it != tagMap.end()) {
        // A text that is not a date leaves the time alone but still marks the record.
        ReadTime(Stored(it->second), exif.tDititalTime);
        file.iExifID = 0;
    }
    if (exif.tDititalTime.GetTime() > 0) file.tSnapTime = exif.tDititalTime;
}

CPropertyItemPtr GetPropertyItem(const plat::Image& image, PROPID id) {
    UINT size = image.GetPropertyItemSize(id);
    if (size == 0) return nullptr;
    CPropertyItemPtr item(static_cast<PropertyItem*>(std::malloc(size)));
    if (!item || image.GetPropertyItem(id, size, item.get()) != Ok) return nullptr;
    return item;
}

int ReadDecoderFacts(const plat::Image& image, _tagFileDetail& detail) {
    _tagFileInfo& file = detail.fileInfo;
    _tagExifInfo& exif = detail.exifInfo;
    _tagGpsInfo& gps = detail.gpsInfo;

    // 1. Pixel facts; rejected data reads 0 throughout.
    file.iBPP = PixelFormatBits(image.GetPixelFormat());
    file.iWidth = int(image.GetWidth());
    file.iHeight = int(image.GetHeight());
    file.iPageCount = int(image.GetFrameCount(&FrameDimensionPage));

    // 2. Text items.
    auto textItem = [&](PROPID id, CString& field) {
        CPropertyItemPtr item = GetPropertyItem(image, id);
        CString text;
        if (!item || item->length == 0 || !ItemText(*item, text)) return false;
        field = Stored(text);
        return true;
    };
    for (const IptcKey& k : kIptcKeys)
        if (textItem(PROPID(k.key), detail.iptcInfo.*k.field)) file.iIptcID = 0;
    for (const TextKey& k : kExifTextKeys)
        if (textItem(PROPID(k.key), exif.*k.field)) file.iExifID = 0;

    // 3. Fractions.
    for (const FractionKey& k : kFractionKeys) {
        CPropertyItemPtr item = GetPropertyItem(image, PROPID(k.key));
        if (!item || item->length == 0) continue;
        if (item->type != PropertyTagTypeRational && item->type != PropertyTagTypeSRational)
            continue;
        if (item->length >= 8) {
            exif.*k.numerator = int(U32At(*item, 0));
            exif.*k.denominator = int(U32At(*item, 1));
        }
        file.iExifID = 0;
    }

    // 4. ISO.
    if (CPropertyItemPtr item = GetPropertyItem(image, kIsoKey); item && item->length != 0) {
        const BYTE* v = static_cast<const BYTE*>(item->value);
        bool known = true;
        switch (item->type) {
            case PropertyTagTypeByte:
                exif.iISO = v[0];
                break;
            case PropertyTagTypeShort:
                if (item->length >= 2) exif.iISO = U16At(*item, 0);
                break;
            case PropertyTagTypeLong:
            case PropertyTagTypeSLONG:
                if (item->length >= 4) exif.iISO = int(U32At(*item, 0));
                break;
            case PropertyTagTypeRational:
                if (item->length >= 8) {
                    std::uint32_t n = U32At(*item, 0), d = U32At(*item, 1);
                    exif.iISO = int(d == 0 || d == 1 ? n : n / d);
                }
                break;
            default:
                known = false;
        }
        if (known) file.iExifID = 0;
    }

    // 5. The digitised time.
    if (ItemTime(image, kDigitisedKey, exif.tDititalTime)) file.iExifID = 0;
    if (exif.tDititalTime.GetTime() > 0) file.tSnapTime = exif.tDititalTime;

    // 6. The GPS position.
    bool position = false;
    int value;
    if (ItemPosition(image, 2, 1, L'N', value)) {
        gps.iLatitude = value;
        position = true;
    }
    if (ItemPosition(image, 4, 3, L'E', value)) {
        gps.iLongitute = value;
        position = true;
    }
    if (CPropertyItemPtr alt = GetPropertyItem(image, 6);
        alt && alt->type == PropertyTagTypeRational && alt->length >= 8) {
        if (GetPropertyItem(image, 5)) {
            gps.iAltitute = int(U32At(*alt, 0));
            position = true;
        }
    }
    if (position) {
        if (gps.iGpsID <= 0) gps.iGpsID = 0;
        if (file.iGpsID <= 0) file.iGpsID = gps.iGpsID;
    }

    // 7. The GPS time stamp.
    if (ItemTime(image, 7, gps.tGpsTime)) file.iGpsID = 0;
    if (gps.tGpsTime.GetTime() > 0) file.tSnapTime = gps.tGpsTime;
    return 1;
}

int ExtractImageData(CByteSource& source, _tagFileDetail& detail) {
    // Only the keys MapTags reads are made into texts: the record is the same.
    CTagMap tagMap;
    CSourceIO io(source);
    if (BuildTagMapFrom(io, tagMap, true) == 1) MapTags(tagMap, detail);
    if (source.HasMissed()) return 1;
    // The decoder reads the caller's bytes in place; nothing is copied for it.
    std::unique_ptr<plat::Image> image(new (std::nothrow) plat::Image(source));
    if (!image) return 0;
    ReadDecoderFacts(*image, detail);
    return 1;
}

int ExtractImageData(const BYTE* data, UINT size, _tagFileDetail& detail) {
    CByteSource source(data, size);
    return ExtractImageData(source, detail);
}
