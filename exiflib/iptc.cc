#include "exiflib/iptc.h"

#include <cstring>
#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"

namespace ExifLib {
namespace {

constexpr BYTE kPhotoshopId[] = {'P', 'h', 'o', 't', 'o', 's', 'h',
                                 'o', 'p', ' ', '3', '.', '0', 0};
constexpr WORD kIptcResource = 0x0404;

bool Skip(IIO* io, std::int64_t count) {
    return SeekExact(io, std::int64_t(io->Tell()) + count);
}

}  // namespace

int FindIptcResource(IIO* io, int bodyLength, unsigned int& size) {
    if (io == nullptr) return -2;
    const std::int64_t body = bodyLength;
    BYTE sig[4];
    if (!ReadAll(io, sig, 4)) return -2;
    if (body - 14 < 0) return 3;
    std::int64_t o = 0;
    for (;;) {
        if (std::memcmp(sig, "8BIM", 4) != 0) return 3;
        BYTE head[3];
        if (!ReadAll(io, head, 3)) return -2;
        WORD id = Get16(head, true);
        std::int64_t nameSize =
            (std::int64_t(head[2]) + 2) & ~std::int64_t(1);  // with its length byte
        std::int64_t dataStart = o + nameSize + 10;
        if (dataStart > body || !Skip(io, nameSize - 1)) return -2;
        BYTE len[4];
        if (!ReadAll(io, len, 4)) return -2;
        DWORD dataSize = Get32(len, true);
        if (dataSize > body - dataStart) return -2;
        if (id == kIptcResource) {
            size = dataSize;
            return 0;
        }
        std::int64_t padded = (std::int64_t(dataSize) + 1) & ~std::int64_t(1);
        o = dataStart + padded;
        if (o > body - 14) return 3;
        if (!Skip(io, padded) || !ReadAll(io, sig, 4)) return -2;
    }
}

IMarkerSegment* CIptc::Create(IIO* io, unsigned short bodyLength) {
    CIptc* seg = new (std::nothrow) CIptc;
    if (seg == nullptr) {
        ShowFatalError();
        return nullptr;
    }
    unsigned int size = 0;
    try {
        // A failed read while parsing keeps the datasets read before it: the IIM data
        // is read one byte past its end, which fails when nothing follows it in the stream.
        if (io != nullptr && FindIptcResource(io, bodyLength, size) == 0)
            seg->ParseDatasets(io, size);
    } catch (const std::bad_alloc&) {
        // The datasets read so far stay; the rest of this segment is given up.
        ShowFatalError();
    }
    return seg;
}

bool CIptc::ParseDatasets(IIO* io, unsigned int size) {
    // The segment describes the IPTC data it was read from, whatever of it is kept.
    SetSize(size);
    if (io == nullptr) return false;
    BYTE cur;
    if (!ReadAll(io, &cur, 1)) return false;
    std::int64_t r = std::int64_t(size) - 1;
    std::string data;
    bool ok = true;
    while (r >= 0) {
        if (cur == 0x1C) {
            BYTE h[4];
            if (!ReadAll(io, h, 4)) {
                ok = false;
                break;
            }
            r -= 4;
            WORD length = Get16(h + 2, true);
            if (length <= r) {
                // Never more than the stream still holds, so a lying length costs nothing.
                int avail = io->GetSize() - io->Tell();
                int want = avail < length ? (avail > 0 ? avail : 0) : length;
                data.resize(size_t(want));
                int got = want ? io->Read(data.data(), want, false) : 0;
                if (got == length && length > 0) {
                    m_mapDatasets[MakeKey(h[0], h[1])] = data;
                }
                r -= got;
            } else {
                // A length past the remaining data: the dataset is skipped and the scan
                // for the next tag marker resumes right after its header. Two bytes are
                // counted against the remainder all the same, so the last dataset after
                // such a skip no longer fits.
                r -= 2;
            }
        }
        if (!ReadAll(io, &cur, 1)) {
            ok = false;
            break;
        }
        r -= 1;
    }
    return ok;
}

std::string CIptc::MakeKey(BYTE record, BYTE dataset) {
    return std::string{char(record), char(dataset)};
}

const std::string* CIptc::GetDataset(BYTE record, BYTE dataset) const {
    auto it = m_mapDatasets.find(MakeKey(record, dataset));
    return it == m_mapDatasets.end() ? nullptr : &it->second;
}

void CIptc::SetDataset(BYTE record, BYTE dataset, const std::string& data) {
    if (data.empty())
        m_mapDatasets.erase(MakeKey(record, dataset));
    else
        m_mapDatasets[MakeKey(record, dataset)] = data;
    UpdateSizes();
}

void CIptc::SetSize(std::uint64_t size) {
    m_dwSize = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : DWORD(size);
    m_nLength = size + 30 > 0x7FFFFFFF ? 0x7FFFFFFF : int(size + 30);
}

std::uint64_t CIptc::GetDatasetBytes() const {
    std::uint64_t size = 0;
    for (const auto& [key, data] : m_mapDatasets)
        size += 5 + data.size();
    return size;
}

void CIptc::UpdateSizes() {
    SetSize(GetDatasetBytes());
}

// The segment's bytes: 28 of header (marker, length, identifier, "8BIM", resource id,
// empty name, data size), the IPTC data of the stored size and two zero bytes, which make
// up the 30 bytes the length counts beyond the data. The data is the datasets in key
// order, then zero bytes up to the stored size when the file the segment was read from
// held more than the datasets kept (a repeated key, a skipped dataset); zero bytes are
// no datasets, so the written segment reads back the same.
bool CIptc::Write(IIO* out) {
    if (GetDatasetBytes() > m_dwSize || !WriteSegmentHeader(out, GetMarker(), GetLength()) ||
        !WriteAll(out, kPhotoshopId, sizeof kPhotoshopId))
        return false;
    BYTE block[12] = {'8', 'B', 'I', 'M', 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(block + 4, kIptcResource, true);
    Put32(block + 8, m_dwSize, true);
    if (!WriteAll(out, block, 12)) return false;
    for (const auto& [key, data] : m_mapDatasets) {
        if (key.size() != 2 || data.size() > 0xFFFF) return false;
        BYTE h[5] = {0x1C, BYTE(key[0]), BYTE(key[1]), 0, 0};
        Put16(h + 3, WORD(data.size()), true);
        if (!WriteAll(out, h, 5) || !WriteAll(out, data.data(), int(data.size()))) return false;
    }
    static const BYTE kZeros[64] = {};
    for (std::uint64_t left = m_dwSize - GetDatasetBytes() + 2; left > 0;) {
        int n = left < sizeof kZeros ? int(left) : int(sizeof kZeros);
        if (!WriteAll(out, kZeros, n)) return false;
        left -= std::uint64_t(n);
    }
    return true;
}

void CIptc::GetIdentifier(std::vector<BYTE>& out) {
    out.assign(kPhotoshopId, kPhotoshopId + sizeof kPhotoshopId);
}

}  // namespace ExifLib
