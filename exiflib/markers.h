// The process-wide marker tables: the kind of every JPEG marker code (how the segment
// walk treats it) and the set of codes a raw segment may carry. Both are built once,
// on first use or by BuildMarkerTables, and only read afterwards (thread-safe).
#pragma once

#include "platform/types.h"

namespace ExifLib {

enum MarkerKind {
    kMarkerUnknown = -1,
    kMarkerEnd = 0,          // EOI
    kMarkerStandalone = 1,   // SOI, TEM
    kMarkerFrame = 2,        // frame headers, skipped by their component table
    kMarkerScan = 3,         // SOS: the walk ends
    kMarkerComment = 4,      // COM
    kMarkerTable = 5,        // DHT, DQT
    kMarkerOther = 6,        // other segments skipped by length
    kMarkerApplication = 7,  // APP0 ... APP15
};

void BuildMarkerTables();
MarkerKind GetMarkerKind(BYTE marker);
bool IsValidRawMarker(BYTE marker);

}  // namespace ExifLib
