// Entries of a TIFF directory (IFD): a tag, a field type, a count and the values.
//
// IIFDEntry is the interface; CNormalIFDEntry<T> holds an array of values of one element
// type; CSingleLongOrShortEntry holds one SHORT or LONG; CIFDIFDEntry's value is a
// whole sub-directory. Entries own their values. Values are held in host byte order and
// converted only when written. Nothing here throws; the Create functions return null
// (after the fatal-error message) when memory runs out.
#pragma once

#include <memory>
#include <string>

#include "exiflib/io.h"
#include "platform/types.h"

namespace ExifLib {

class CIFD;

// TIFF field types.
enum : WORD {
    kTypeByte = 1,
    kTypeAscii = 2,
    kTypeShort = 3,
    kTypeLong = 4,
    kTypeRational = 5,
    kTypeUndefined = 7,
    kTypeSLong = 9,
    kTypeSRational = 10,
};

struct tagRational {
    DWORD numerator;
    DWORD denominator;
};
struct tagSRational {
    LONG numerator;
    LONG denominator;
};

class IIFDEntry {
public:
    virtual ~IIFDEntry() = default;
    virtual WORD GetTag() const = 0;
    virtual WORD GetType() const = 0;
    virtual DWORD GetCount() const = 0;
    // Bytes of the value stored outside the 12-byte entry (0 when it fits in the entry).
    virtual DWORD GetDataSize() const = 0;
    // Writes the 12-byte entry to `out` in the given byte order. A value that does not fit
    // in the entry is copied to `valueDest` (GetDataSize() bytes) and the entry points at
    // `valueOffset`. False when the stream took fewer bytes.
    virtual bool WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest, bool bigEndian) const = 0;
    virtual void ToString(std::string& out) const { out = "(unknown)"; }
};

// T is one of: unsigned char (BYTE, UNDEFINED), char (ASCII, UNDEFINED), short (SHORT),
// LONG (LONG, SLONG; a 32-bit integer, the width of the stored field, whatever the
// width of the host's `long`), tagRational (RATIONAL) and tagSRational (SRATIONAL).
template <typename T>
class CNormalIFDEntry : public IIFDEntry {
public:
    // Takes ownership of `values` (`count` elements allocated with new[]).
    CNormalIFDEntry(WORD tag, WORD type, DWORD count, T* values)
        : m_pValues(values), m_dwCount(values ? count : 0), m_wTag(tag), m_wType(type) {}
    // Copies `count` values; null after the fatal-error message when memory runs out.
    static CNormalIFDEntry* Create(WORD tag, WORD type, const T* values, DWORD count);

    WORD GetTag() const override { return m_wTag; }
    WORD GetType() const override { return m_wType; }
    DWORD GetCount() const override { return m_dwCount; }
    DWORD GetDataSize() const override;
    bool WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest, bool bigEndian) const override;
    // One value: its unsigned 32-bit decimal form, a rational as "n/d". Several:
    // "{v,v,...}" with each value as at least 2 (bytes, characters), 4 (shorts) or 8
    // (longs) hexadecimal digits and "X", or as "n/d" for rationals. Signed elements are
    // sign-extended to 32 bits first (a char 0xE9 gives "ffffffe9X").
    void ToString(std::string& out) const override;

    const T* GetValues() const { return m_pValues.get(); }
    // The value at `index`, or a zero value past the end.
    T GetValue(DWORD index) const { return index < m_dwCount ? m_pValues[index] : T{}; }

private:
    std::unique_ptr<T[]> m_pValues;
    DWORD m_dwCount;
    WORD m_wTag;
    WORD m_wType;
};

// One SHORT or one LONG (pixel dimensions may be either); forwards to the inner entry.
class CSingleLongOrShortEntry : public IIFDEntry {
public:
    static CSingleLongOrShortEntry* CreateShort(WORD tag, WORD value);
    static CSingleLongOrShortEntry* CreateLong(WORD tag, DWORD value);

    WORD GetTag() const override { return m_pInner->GetTag(); }
    WORD GetType() const override { return m_pInner->GetType(); }
    DWORD GetCount() const override { return m_pInner->GetCount(); }
    DWORD GetDataSize() const override { return m_pInner->GetDataSize(); }
    bool WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest, bool bigEndian) const override {
        return m_pInner->WriteEntry(out, valueOffset, valueDest, bigEndian);
    }
    void ToString(std::string& out) const override { m_pInner->ToString(out); }

    // The value as an unsigned number (a SHORT is read as 0 ... 65535).
    DWORD GetValue() const;
    const IIFDEntry* GetInner() const { return m_pInner.get(); }

private:
    explicit CSingleLongOrShortEntry(IIFDEntry* inner) : m_pInner(inner) {}
    // Takes `inner` (null passes through); null after the fatal-error message when the
    // wrapper cannot be made.
    static CSingleLongOrShortEntry* Wrap(IIFDEntry* inner);
    std::unique_ptr<IIFDEntry> m_pInner;
};

// A LONG entry whose value is the offset of a sub-directory, which it owns. When
// written, the sub-directory is laid out in the outside-value area of the parent.
class CIFDIFDEntry : public IIFDEntry {
public:
    CIFDIFDEntry(WORD tag, CIFD* sub);
    ~CIFDIFDEntry() override;

    WORD GetTag() const override { return m_wTag; }
    WORD GetType() const override { return kTypeLong; }
    DWORD GetCount() const override { return 1; }
    // The size of the sub-directory, which is written outside the entry.
    DWORD GetDataSize() const override;
    bool WriteEntry(IIO* out, DWORD valueOffset, BYTE* valueDest, bool bigEndian) const override;

    CIFD* GetIFD() const { return m_pIFD; }

private:
    WORD m_wTag;
    CIFD* m_pIFD;
};

extern template class CNormalIFDEntry<unsigned char>;
extern template class CNormalIFDEntry<char>;
extern template class CNormalIFDEntry<short>;
extern template class CNormalIFDEntry<LONG>;
extern template class CNormalIFDEntry<tagRational>;
extern template class CNormalIFDEntry<tagSRational>;

}  // namespace ExifLib
