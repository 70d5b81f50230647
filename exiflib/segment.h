// JPEG marker segments as objects.
//
// IMarkerSegment is one segment: its marker code (the byte after 0xFF), the value of its
// length field (body plus the two length bytes) and a writer that emits the whole
// segment. CRawSeg keeps a segment as plain bytes; CSpecAppSeg is the base of the
// application segments recognised by their leading identifier bytes.
//
// Segments are owned by whoever made them (usually CAppSegMgr). Write returns true only
// when every byte was written. Nothing here throws.
#pragma once

#include <cstddef>
#include <vector>

#include "exiflib/io.h"
#include "platform/types.h"

namespace ExifLib {

class IMarkerSegment {
public:
    virtual BYTE GetMarker() = 0;
    virtual int GetLength() = 0;
    virtual bool Write(IIO* out) = 0;
    virtual ~IMarkerSegment() = default;
};

// Writes 0xFF, the marker and the length field; false when the length does not fit in
// 16 bits or the stream took fewer bytes.
bool WriteSegmentHeader(IIO* out, BYTE marker, int length);

// Whether a segment may be made over `body` of `length` bytes: not for a length of 65534
// or more (no room for the length field's own two bytes) nor for a null body with a
// non-zero length. A refusal shows the fatal-error message.
bool CheckSegmentBody(const BYTE* body, std::size_t length);

class CRawSeg : public IMarkerSegment {
public:
    // Makes a segment over `body` (`length` bytes, the length field excluded). With
    // `owns`, the segment frees the body (allocated with new[]); the body is freed here
    // too when no segment results. Null, after the fatal-error message, for a marker
    // outside the raw set, a length of 65534 or more, a null body with a non-zero length,
    // or no memory.
    static CRawSeg* Create(BYTE marker, BYTE* body, WORD length, bool owns);
    ~CRawSeg() override;

    BYTE GetMarker() override { return m_byMarker; }
    int GetLength() override { return m_wLength + 2; }
    bool Write(IIO* out) override;

    const BYTE* GetBody() const { return m_pBody; }
    WORD GetBodyLength() const { return m_wLength; }

private:
    CRawSeg(BYTE marker, BYTE* body, WORD length, bool owns)
        : m_byMarker(marker), m_pBody(body), m_wLength(length), m_bOwnBody(owns) {}

    BYTE m_byMarker;
    BYTE* m_pBody;
    WORD m_wLength;
    bool m_bOwnBody;
};

class CSpecAppSeg : public IMarkerSegment {
public:
    // The identifier bytes the segment is recognised by (its NUL included).
    virtual void GetIdentifier(std::vector<BYTE>& out) = 0;
};

}  // namespace ExifLib
