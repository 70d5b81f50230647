#include "exiflib/markers.h"

#include <array>

namespace ExifLib {
namespace {

struct Tables {
    std::array<signed char, 256> kind;
    std::array<bool, 256> validRaw;

    Tables() {
        kind.fill(kMarkerUnknown);
        validRaw.fill(false);
        auto set = [this](int first, int last, MarkerKind k) {
            for (int m = first; m <= last; ++m)
                kind[size_t(m)] = static_cast<signed char>(k);
        };
        set(0xD9, 0xD9, kMarkerEnd);
        set(0xD8, 0xD8, kMarkerStandalone);
        set(0x01, 0x01, kMarkerStandalone);
        for (int m : {0xC0, 0xC1, 0xC2, 0xC9, 0xCA})
            set(m, m, kMarkerFrame);
        set(0xDA, 0xDA, kMarkerScan);
        set(0xFE, 0xFE, kMarkerComment);
        set(0xC4, 0xC4, kMarkerTable);
        set(0xDB, 0xDB, kMarkerTable);
        set(0xC3, 0xC3, kMarkerOther);
        set(0xC5, 0xC8, kMarkerOther);
        set(0xCB, 0xCF, kMarkerOther);
        set(0xD0, 0xD7, kMarkerOther);
        set(0xDC, 0xDF, kMarkerOther);
        set(0xF0, 0xFD, kMarkerOther);
        set(0xE0, 0xEF, kMarkerApplication);

        for (int m = 0x02; m <= 0xBE; ++m)
            validRaw[size_t(m)] = true;
        validRaw[0xCC] = true;
        for (int m = 0xDB; m <= 0xFE; ++m)
            validRaw[size_t(m)] = true;
    }
};

const Tables& GetTables() {
    static const Tables tables;
    return tables;
}

}  // namespace

void BuildMarkerTables() {
    GetTables();
}

MarkerKind GetMarkerKind(BYTE marker) {
    return MarkerKind(GetTables().kind[marker]);
}

bool IsValidRawMarker(BYTE marker) {
    return GetTables().validRaw[marker];
}

}  // namespace ExifLib
