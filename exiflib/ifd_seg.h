// Application segments that hold a TIFF structure: CIFDAppSeg (the common base: IFD0 and
// the byte order) and CExifApp1Seg, the APP1 "Exif" segment.
//
// The EXIF factory reads the TIFF header at the stream's position and the directories
// it points to; it returns null when the header is not a TIFF header, IFD0's offset lies
// outside the data, or IFD0 yields nothing. A segment owns its IFD0 when made by the
// factory. Nothing here throws.
#pragma once

#include "exiflib/ifd.h"
#include "exiflib/segment.h"

namespace ExifLib {

class CIFDAppSeg : public CSpecAppSeg {
public:
    // Takes ownership of `ifd0` when `owns` is set.
    CIFDAppSeg(CIFD* ifd0, bool owns, bool bigEndian)
        : m_pIFD0(ifd0), m_bOwnIFD(owns), m_bBigEndian(bigEndian) {}
    ~CIFDAppSeg() override;

    BYTE GetMarker() override { return 0xE1; }
    // The size of the directories alone (2 without an IFD0).
    int GetLength() override { return m_pIFD0 ? m_pIFD0->GetSize() : 2; }
    // Writes the directories alone, IFD0 at TIFF offset 0.
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override { out.clear(); }
    // True for a bare TIFF structure; false for the segments that carry a header of their own.
    virtual bool IsBareTiff() { return true; }

    CIFD* GetIFD0() const { return m_pIFD0; }
    bool IsBigEndian() const { return m_bBigEndian; }

protected:
    CIFD* m_pIFD0;
    bool m_bOwnIFD;
    bool m_bBigEndian;
};

class CExifApp1Seg : public CIFDAppSeg {
public:
    using CIFDAppSeg::CIFDAppSeg;

    static IMarkerSegment* Create(IIO* io, unsigned short bodyLength);

    int GetLength() override { return (m_pIFD0 ? m_pIFD0->GetSize() : 0) + 16; }
    // 0xFF 0xE1, the length, "Exif" and two NULs, the TIFF header, IFD0 at offset 8.
    // False without an IFD0 or when the segment would not fit its 16-bit length.
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;
    bool IsBareTiff() override { return false; }
};

}  // namespace ExifLib
