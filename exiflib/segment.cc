#include "exiflib/segment.h"

#include <new>

#include "exiflib/byteorder.h"
#include "exiflib/fatal.h"
#include "exiflib/markers.h"

namespace ExifLib {

bool WriteSegmentHeader(IIO* out, BYTE marker, int length) {
    if (out == nullptr || length < 2 || length > 0xFFFF) return false;
    BYTE head[4] = {0xFF, marker, 0, 0};
    Put16(head + 2, WORD(length), true);
    return WriteAll(out, head, 4);
}

bool CheckSegmentBody(const BYTE* body, std::size_t length) {
    if (length < 65534 && (body != nullptr || length == 0)) return true;
    ShowFatalError();
    return false;
}

CRawSeg* CRawSeg::Create(BYTE marker, BYTE* body, WORD length, bool owns) {
    CRawSeg* seg = nullptr;
    if (!IsValidRawMarker(marker)) {
        ShowFatalError();
    } else if (CheckSegmentBody(body, length)) {
        seg = new (std::nothrow) CRawSeg(marker, body, length, owns);
        if (seg == nullptr) ShowFatalError();
    }
    if (seg == nullptr && owns) delete[] body;
    return seg;
}

CRawSeg::~CRawSeg() {
    if (m_bOwnBody) delete[] m_pBody;
}

bool CRawSeg::Write(IIO* out) {
    return WriteSegmentHeader(out, m_byMarker, GetLength()) && WriteAll(out, m_pBody, m_wLength);
}

}  // namespace ExifLib
