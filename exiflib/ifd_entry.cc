#include "exiflib/ifd_entry.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"
#include "exiflib/ifd.h"
#include "exiflib/memio.h"

namespace ExifLib {
namespace {

template <typename T>
void PutElement(BYTE* p, const T& v, bool big) {
    if constexpr (sizeof(T) == 1) {
        p[0] = BYTE(v);
    } else if constexpr (std::is_same_v<T, short>) {
        Put16(p, WORD(v), big);
    } else if constexpr (std::is_same_v<T, LONG>) {
        Put32(p, DWORD(v), big);
    } else {
        Put32(p, DWORD(v.numerator), big);
        Put32(p + 4, DWORD(v.denominator), big);
    }
}

// The value widened to an unsigned 32-bit number the way C widens it: a signed element
// (char, short, LONG) is sign-extended first, so a char 0x80 or a SHORT 0xFFFF prints as
// ffffff80 / 4294967295 and not as 80 / 65535; an unsigned char stays 0 ... 255.
template <typename T>
std::uint32_t Widened(const T& v) {
    return std::uint32_t(std::int64_t(v));
}

template <typename T>
void AppendOne(std::string& out, const T& v, bool several) {
    char buf[48];
    if constexpr (std::is_same_v<T, tagRational> || std::is_same_v<T, tagSRational>) {
        // Both halves print as signed 32-bit numbers, for RATIONAL too.
        std::snprintf(buf, sizeof buf, several ? "%d/%d," : "%d/%d", int(LONG(v.numerator)),
                      int(LONG(v.denominator)));
    } else if (!several) {
        std::snprintf(buf, sizeof buf, "%" PRIu32, Widened(v));
    } else if constexpr (sizeof(T) == 1) {
        std::snprintf(buf, sizeof buf, "%02xX,", unsigned(Widened(v)));
    } else if constexpr (sizeof(T) == 2) {
        std::snprintf(buf, sizeof buf, "%04xX,", unsigned(Widened(v)));
    } else {
        std::snprintf(buf, sizeof buf, "%08xX,", unsigned(Widened(v)));
    }
    out += buf;
}

// Writes tag, type, count and the 4-byte value field.
bool PutEntry(IIO* out, WORD tag, WORD type, DWORD count, const BYTE field[4], bool big) {
    BYTE e[12];
    Put16(e, tag, big);
    Put16(e + 2, type, big);
    Put32(e + 4, count, big);
    std::memcpy(e + 8, field, 4);
    return WriteAll(out, e, 12);
}

}  // namespace

template <typename T>
CNormalIFDEntry<T>* CNormalIFDEntry<T>::Create(WORD tag, WORD type, const T* values, DWORD count) {
    T* copy = nullptr;
    if (count > 0) {
        if (!AllocationRefused(std::size_t(count) * sizeof(T))) copy = new (std::nothrow) T[count];
        if (copy == nullptr) {
            ShowFatalError();
            return nullptr;
        }
        std::copy(values, values + count, copy);
    }
    auto* entry = new (std::nothrow) CNormalIFDEntry(tag, type, count, copy);
    if (entry == nullptr) {
        delete[] copy;
        ShowFatalError();
    }
    return entry;
}

template <typename T>
DWORD CNormalIFDEntry<T>::GetDataSize() const {
    std::uint64_t bytes = std::uint64_t(m_dwCount) * sizeof(T);
    if (bytes <= 4) return 0;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(bytes);
}

template <typename T>
bool CNormalIFDEntry<T>::WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest,
                                    bool bigEndian) const {
    BYTE field[4] = {0, 0, 0, 0};
    BYTE* dest = field;
    if (GetDataSize() > 0) {
        if (valueDest == nullptr) return false;
        Put32(field, valueOffset, bigEndian);
        dest = valueDest;
    }
    for (DWORD i = 0; i < m_dwCount; ++i)
        PutElement(dest + i * sizeof(T), m_pValues[i], bigEndian);
    return PutEntry(out, m_wTag, m_wType, m_dwCount, field, bigEndian);
}

template <typename T>
void CNormalIFDEntry<T>::ToString(std::string& out) const {
    out.clear();
    if (m_dwCount == 1) {
        AppendOne(out, m_pValues[0], false);
        return;
    }
    out.assign(1, '{');
    for (DWORD i = 0; i < m_dwCount; ++i)
        AppendOne(out, m_pValues[i], true);
    if (out.back() == ',')
        out.back() = '}';
    else
        out += '}';
}

template class CNormalIFDEntry<unsigned char>;
template class CNormalIFDEntry<char>;
template class CNormalIFDEntry<short>;
template class CNormalIFDEntry<LONG>;
template class CNormalIFDEntry<tagRational>;
template class CNormalIFDEntry<tagSRational>;

CSingleLongOrShortEntry* CSingleLongOrShortEntry::Wrap(IIFDEntry* inner) {
    if (inner == nullptr) return nullptr;
    auto* entry = new (std::nothrow) CSingleLongOrShortEntry(inner);
    if (entry == nullptr) {
        delete inner;
        ShowFatalError();
    }
    return entry;
}

CSingleLongOrShortEntry* CSingleLongOrShortEntry::CreateShort(WORD tag, WORD value) {
    short v = short(value);
    return Wrap(CNormalIFDEntry<short>::Create(tag, kTypeShort, &v, 1));
}

CSingleLongOrShortEntry* CSingleLongOrShortEntry::CreateLong(WORD tag, DWORD value) {
    LONG v = LONG(value);
    return Wrap(CNormalIFDEntry<LONG>::Create(tag, kTypeLong, &v, 1));
}

DWORD CSingleLongOrShortEntry::GetValue() const {
    if (auto* s = dynamic_cast<const CNormalIFDEntry<short>*>(m_pInner.get()))
        return WORD(s->GetValue(0));
    if (auto* l = dynamic_cast<const CNormalIFDEntry<LONG>*>(m_pInner.get()))
        return DWORD(l->GetValue(0));
    return 0;
}

CIFDIFDEntry::CIFDIFDEntry(WORD tag, CIFD* sub) : m_wTag(tag), m_pIFD(sub) {}

CIFDIFDEntry::~CIFDIFDEntry() {
    delete m_pIFD;
}

DWORD CIFDIFDEntry::GetDataSize() const {
    return m_pIFD ? DWORD(m_pIFD->GetSize()) : 0;
}

bool CIFDIFDEntry::WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest, bool bigEndian) const {
    BYTE field[4] = {0, 0, 0, 0};
    if (m_pIFD != nullptr) {
        int size = m_pIFD->GetSize();
        if (valueDest == nullptr || valueOffset > 0x7FFFFFFFu) return false;
        CMemIO area(valueDest, size);
        if (!m_pIFD->Write(&area, bigEndian, int(valueOffset))) return false;
        Put32(field, valueOffset, bigEndian);
    }
    return PutEntry(out, m_wTag, kTypeLong, 1, field, bigEndian);
}

}  // namespace ExifLib
