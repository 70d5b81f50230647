#include "exiflib/ifd_seg.h"

#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"
#include "exiflib/ifd_reader.h"

namespace ExifLib {
namespace {
constexpr BYTE kExifId[] = {'E', 'x', 'i', 'f', 0, 0};
}

CIFDAppSeg::~CIFDAppSeg() {
    if (m_bOwnIFD) delete m_pIFD0;
}

bool CIFDAppSeg::Write(IIO* out) {
    return m_pIFD0 && m_pIFD0->Write(out, m_bBigEndian, 0);
}

IMarkerSegment* CExifApp1Seg::Create(IIO* io, unsigned short bodyLength) {
    if (io == nullptr || bodyLength < 8) return nullptr;
    int base = io->Tell();
    BYTE h[8];
    if (base < 0 || !ReadAll(io, h, 8)) return nullptr;
    bool big;
    if (h[0] == 'M' && h[1] == 'M' && h[2] == 0x00 && h[3] == 0x2A)
        big = true;
    else if (h[0] == 'I' && h[1] == 'I' && h[2] == 0x2A && h[3] == 0x00)
        big = false;
    else
        return nullptr;
    DWORD offset = Get32(h + 4, big);
    if (offset < 8 || offset - 8 >= DWORD(io->GetSize())) return nullptr;
    if (!SeekExact(io, std::int64_t(base) + offset)) return nullptr;
    // The directories, their entries and values are looked for inside this segment only.
    // A file may hold thousands of EXIF segments; if each could point anywhere in the
    // file, reading them all would cost time and memory in proportion to the number of
    // segments times the size of the file. Bounded by its own segment, each costs in
    // proportion to its own size.
    CIFD* ifd0 = ReadIFD0(io, base, big, base + bodyLength);
    if (ifd0 == nullptr) return nullptr;
    auto* seg = new (std::nothrow) CExifApp1Seg(ifd0, true, big);
    if (seg == nullptr) {
        delete ifd0;
        ShowFatalError();
    }
    return seg;
}

bool CExifApp1Seg::Write(IIO* out) {
    if (m_pIFD0 == nullptr || !WriteSegmentHeader(out, GetMarker(), GetLength())) return false;
    BYTE h[8] = {'I', 'I', 0x2A, 0x00, 0, 0, 0, 0};
    if (m_bBigEndian) {
        h[0] = h[1] = 'M';
        h[2] = 0x00;
        h[3] = 0x2A;
    }
    Put32(h + 4, 8, m_bBigEndian);
    return WriteAll(out, kExifId, sizeof kExifId) && WriteAll(out, h, 8) &&
           m_pIFD0->Write(out, m_bBigEndian, 8);
}

void CExifApp1Seg::GetIdentifier(std::vector<BYTE>& out) {
    out.assign(kExifId, kExifId + sizeof kExifId);
}

}  // namespace ExifLib
