// The JFIF application segments (APP0): "JFIF" with the density and an optional RGB
// thumbnail, and the "JFXX" extension with its code and body.
//
// The factories read the segment body that follows the identifier (bodyLength bytes)
// and return a new segment, or null when the body is inconsistent, a read is short or
// memory runs out (the fatal-error message is shown for the latter). The segments own
// their buffers when made by the factories.
#pragma once

#include "exiflib/segment.h"

namespace ExifLib {

class CJFIFApp0Seg : public CSpecAppSeg {
public:
    // The thumbnail holds width * height RGB pixels (3 bytes each; allocated with new[]),
    // null when that is 0. With `ownsThumbnail`, the segment frees it, and so does Make
    // when no segment results. Null, after the fatal-error message, for a null thumbnail
    // of a non-zero size, a thumbnail of 65534 bytes or more, or no memory.
    static CJFIFApp0Seg* Make(WORD version, BYTE units, WORD xDensity, WORD yDensity,
                              BYTE thumbWidth, BYTE thumbHeight, BYTE* thumbnail,
                              bool ownsThumbnail);
    ~CJFIFApp0Seg() override;

    static IMarkerSegment* Create(IIO* io, unsigned short bodyLength);

    BYTE GetMarker() override { return 0xE0; }
    int GetLength() override { return 3 * m_byThumbWidth * m_byThumbHeight + 16; }
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;

    WORD GetVersion() const { return m_wVersion; }
    BYTE GetUnits() const { return m_byUnits; }
    WORD GetXDensity() const { return m_wXDensity; }
    WORD GetYDensity() const { return m_wYDensity; }
    BYTE GetThumbWidth() const { return m_byThumbWidth; }
    BYTE GetThumbHeight() const { return m_byThumbHeight; }
    const BYTE* GetThumbnail() const { return m_pThumbnail; }

private:
    CJFIFApp0Seg(WORD version, BYTE units, WORD xDensity, WORD yDensity, BYTE thumbWidth,
                 BYTE thumbHeight, BYTE* thumbnail, bool ownsThumbnail);

    WORD m_wVersion;
    BYTE m_byUnits;
    WORD m_wXDensity;
    WORD m_wYDensity;
    BYTE m_byThumbWidth;
    BYTE m_byThumbHeight;
    BYTE* m_pThumbnail;
    bool m_bOwnThumbnail;
};

class CJFIFApp0ExSeg : public CSpecAppSeg {
public:
    // A segment over `body` (`bodyLength` bytes after the extension code, allocated with
    // new[]). With `ownsBody`, the segment frees the body, and so does Make when no
    // segment results. Null, after the fatal-error message, for a body length of 65534 or
    // more, a null body with a non-zero length, or no memory.
    static CJFIFApp0ExSeg* Make(BYTE extensionCode, BYTE* body, WORD bodyLength, bool ownsBody);
    ~CJFIFApp0ExSeg() override;

    static IMarkerSegment* Create(IIO* io, unsigned short bodyLength);

    BYTE GetMarker() override { return 0xE0; }
    int GetLength() override { return m_wBodyLength + 8; }
    bool Write(IIO* out) override;
    void GetIdentifier(std::vector<BYTE>& out) override;

    BYTE GetExtensionCode() const { return m_byCode; }
    const BYTE* GetBody() const { return m_pBody; }
    WORD GetBodyLength() const { return m_wBodyLength; }

private:
    CJFIFApp0ExSeg(BYTE extensionCode, BYTE* body, WORD bodyLength, bool ownsBody)
        : m_byCode(extensionCode), m_pBody(body), m_wBodyLength(bodyLength), m_bOwnBody(ownsBody) {}

    BYTE m_byCode;
    BYTE* m_pBody;
    WORD m_wBodyLength;
    bool m_bOwnBody;
};

}  // namespace ExifLib
