// Splitting a JPEG file into its marker segments, up to the start of the first scan.
//
// CAppSegMgr::Parse walks the segments of the data in a stream and keeps the application
// segments (APP0 ... APP15, in file order) and the first comment. Application segments
// with a registered identifier become their own classes (EXIF, IPTC, JFIF, ...), others
// raw segments. A damaged segment ends the walk but keeps what was read before it. The
// manager owns its segments; it is used by one thread at a time. Nothing here throws;
// when memory runs out the fatal-error message is shown and only the segment concerned
// is lost.
#pragma once

#include <vector>

#include "exiflib/io.h"
#include "exiflib/segment.h"

namespace ExifLib {

class CExifApp1Seg;
class CIptc;

// True when the data holds at least 12 bytes and starts with 0xFF 0xD8.
bool IsJpeg(IIO* io);

// Reads the application segment whose marker has just been read: its length, then its
// body through the registered factory (or as a raw segment). The stream is left at the
// end of the body. Null when the segment cannot be read, and with `check` for a marker
// other than APP0 ... APP15.
IMarkerSegment* CreateAppSegment(IIO* io, BYTE marker, bool check);
// A raw segment whose length field is read here / has been read already (`length` is the
// field's value). With `check`, markers outside the raw set and lengths below 3 are refused.
CRawSeg* ReadRawSegment(IIO* io, BYTE marker, bool check);
CRawSeg* MakeRawSegment(IIO* io, BYTE marker, unsigned short length, bool check);

class CAppSegMgr {
public:
    CAppSegMgr();
    CAppSegMgr(const CAppSegMgr&) = delete;
    CAppSegMgr& operator=(const CAppSegMgr&) = delete;
    virtual ~CAppSegMgr();

    // False only for a null stream, data that is not a JPEG file (the segments of an
    // earlier parse are then kept), and an end-of-image marker (met before any scan)
    // that is not followed by exactly one byte. Any other parse first forgets the
    // segments of an earlier one.
    bool Parse(IIO* io);

    // The first EXIF / IPTC segment of the list, or null.
    CExifApp1Seg* GetExif() const;
    CIptc* GetIptc() const;
    // The first comment segment, or null.
    CRawSeg* GetComment() const { return m_pComment; }
    int GetCount() const { return m_nCount; }
    IMarkerSegment* GetSegment(int index) const;
    const std::vector<IMarkerSegment*>& GetSegments() const { return m_vecSegments; }

    void Clear();

private:
    bool Walk(IIO* io);
    void Append(IMarkerSegment* seg);

    CRawSeg* m_pComment = nullptr;
    std::vector<IMarkerSegment*> m_vecSegments;
    int m_nCount = 0;
};

}  // namespace ExifLib
