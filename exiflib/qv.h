// The vendor APP1 segment "QVIMGDATA": a byte-order mark ("II" or "MM") followed at once
// by one small directory of text values (tags 0 to 5; tag 1 is a date and time of 20
// characters). Offsets in it count from the byte-order mark. The values are kept as text
// only; nothing else in the system reads them.
//
// The factory returns null for a body shorter than 13 bytes, a bad byte-order mark or a
// directory without usable entries. Nothing here throws.
#pragma once

#include "exiflib/ifd.h"
#include "exiflib/ifd_seg.h"

namespace ExifLib {

// Keeps tags 0 to 5 only and never has a next directory.
class CQVIFD0 : public CIFD {};

class CQVApp1Seg : public CIFDAppSeg {
public:
    // Takes ownership of `ifd`.
    CQVApp1Seg(CQVIFD0* ifd, bool bigEndian) : CIFDAppSeg(ifd, true, bigEndian) {}

    static IMarkerSegment* Create(IIO* io, unsigned short bodyLength);

    int GetLength() override { return (m_pIFD0 ? m_pIFD0->GetSize() : 0) + 14; }
    // 0xFF 0xE1, the length, the identifier, the byte-order mark, then the directory.
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;
    bool IsBareTiff() override { return false; }

    CQVIFD0* GetQVIFD0() const { return static_cast<CQVIFD0*>(m_pIFD0); }
};

}  // namespace ExifLib
