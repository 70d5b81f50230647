#include "exiflib/ifd.h"

#include <new>
#include <vector>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"

namespace ExifLib {
namespace {

std::int64_t Padded(std::int64_t n) {
    return (n + 1) & ~std::int64_t(1);
}

template <typename T>
void SetValues(CIFD* ifd, WORD tag, WORD type, std::initializer_list<T> values) {
    ifd->SetEntry(CNormalIFDEntry<T>::Create(tag, type, values.begin(), DWORD(values.size())));
}

}  // namespace

CIFD::~CIFD() {
    delete m_pNext;
}

IIFDEntry* CIFD::GetEntry(WORD tag) const {
    auto it = m_mapEntries.find(tag);
    return it == m_mapEntries.end() ? nullptr : it->second.get();
}

bool CIFD::SetEntry(IIFDEntry* entry) {
    std::unique_ptr<IIFDEntry> owned(entry);
    if (!owned) return false;
    try {
        m_mapEntries[owned->GetTag()] = std::move(owned);
    } catch (const std::bad_alloc&) {
        ShowFatalError();
        return false;
    }
    return true;
}

void CIFD::SetNext(CIFD* next) {
    if (next == m_pNext) return;
    delete m_pNext;
    m_pNext = next;
}

std::int64_t CIFD::GetValuesSize() const {
    std::int64_t total = 0;
    for (const auto& [tag, entry] : m_mapEntries)
        total += Padded(entry->GetDataSize());
    return total;
}

int CIFD::GetSize() const {
    std::int64_t size = 6 + 12 * std::int64_t(m_mapEntries.size()) + GetValuesSize() +
                        GetExtraSize() + (m_pNext ? m_pNext->GetSize() : 0);
    return size > 0x7FFFFFFF ? 0x7FFFFFFF : int(size);
}

bool CIFD::Write(IIO* out, bool bigEndian, int offset) {
    std::int64_t count = std::int64_t(m_mapEntries.size());
    std::int64_t valuesStart = std::int64_t(offset) + 6 + 12 * count;
    std::int64_t valuesSize = GetValuesSize();
    std::int64_t ownSize = 6 + 12 * count + valuesSize + GetExtraSize();
    if (out == nullptr || offset < 0 || count > 0xFFFF || offset + ownSize > 0x7FFFFFFF)
        return false;
    PrepareWrite(DWORD(valuesStart + valuesSize));

    std::unique_ptr<BYTE[]> values = NewBytes(size_t(valuesSize));
    if (!values) return false;
    BYTE head[2];
    Put16(head, WORD(count), bigEndian);
    if (!WriteAll(out, head, 2)) return false;
    std::int64_t pos = 0;
    for (const auto& [tag, entry] : m_mapEntries) {
        if (!entry->WriteEntry(out, DWORD(valuesStart + pos), values.get() + pos, bigEndian))
            return false;
        pos += Padded(entry->GetDataSize());
    }
    BYTE next[4];
    Put32(next, m_pNext ? DWORD(offset + ownSize) : 0, bigEndian);
    if (!WriteAll(out, next, 4) || !WriteAll(out, values.get(), int(valuesSize)) ||
        !WriteExtra(out))
        return false;
    return m_pNext == nullptr || m_pNext->Write(out, bigEndian, int(offset + ownSize));
}

void CJPEGIFD0::SetDefaults() {
    tagRational dpi{72, 1};
    SetValues<tagRational>(this, 0x011A, kTypeRational, {dpi});
    SetValues<tagRational>(this, 0x011B, kTypeRational, {dpi});
    SetValues<short>(this, 0x0128, kTypeShort, {2});
    SetValues<short>(this, 0x0213, kTypeShort, {1});
}

CJPEGIFD1::~CJPEGIFD1() {
    delete[] m_pThumbnail;
}

bool CJPEGIFD1::SetLong(WORD tag, DWORD value) {
    LONG v = LONG(value);
    return SetEntry(CNormalIFDEntry<LONG>::Create(tag, kTypeLong, &v, 1));
}

bool CJPEGIFD1::SetThumbnail(BYTE* data, DWORD length) {
    delete[] m_pThumbnail;
    m_pThumbnail = data;
    m_dwThumbLength = data ? length : 0;
    IIFDEntry* format = GetEntry(0x0201);
    DWORD formatValue = 0;
    if (auto* l = dynamic_cast<CNormalIFDEntry<LONG>*>(format)) formatValue = DWORD(l->GetValue(0));
    return SetLong(0x0201, formatValue) && SetLong(0x0202, m_dwThumbLength);
}

void CJPEGIFD1::PrepareWrite(DWORD extraOffset) {
    if (m_pThumbnail != nullptr) SetLong(0x0201, extraOffset);
}

bool CJPEGIFD1::WriteExtra(IIO* out) {
    static const BYTE kPad = 0;
    return WriteAll(out, m_pThumbnail, int(m_dwThumbLength)) &&
           ((m_dwThumbLength & 1) == 0 || WriteAll(out, &kPad, 1));
}

void CJPEGExifIFD::SetDefaults() {
    SetValues<unsigned char>(this, 0x9000, kTypeUndefined, {'0', '2', '1', '0'});
    SetValues<unsigned char>(this, 0xA000, kTypeUndefined, {'0', '1', '0', '0'});
    SetValues<short>(this, 0xA001, kTypeShort, {1});
    SetValues<unsigned char>(this, 0x9101, kTypeUndefined, {1, 2, 3, 0});
    SetValues<short>(this, 0x9207, kTypeShort, {0});
    SetValues<short>(this, 0x9208, kTypeShort, {0});
    SetValues<short>(this, 0x8822, kTypeShort, {0});
    SetValues<short>(this, 0xA210, kTypeShort, {2});
    SetValues<unsigned char>(this, 0xA300, kTypeUndefined, {3});
    SetValues<unsigned char>(this, 0xA301, kTypeUndefined, {1});
}

void CJPEGGpsIFD::SetDefaults() {
    SetValues<unsigned char>(this, 0x0000, kTypeByte, {2, 2, 0, 0});
}

}  // namespace ExifLib
