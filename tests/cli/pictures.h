// Real picture files for the host program's tests and benchmark: JPEG files written by
// the system's JPEG library, carrying an EXIF block (camera, capture times, exposure,
// GPS position) and an IPTC block (keywords and a city), as a camera and a
// photo manager would leave them.
#pragma once

#include <string>

namespace pictures {

struct Shot {
    int width = 64;
    int height = 48;
    int seed = 0;  // varies the pixels, so that different shots differ in content
    std::string make = "Canon";
    std::string model = "EOS 5D";
    std::string taken = "2019:05:01 10:20:30";  // EXIF form; "" = no capture time
    int iso = 400;
    int exposureDen = 250;  // exposure 1/exposureDen s (at f/2.8 and 50 mm)
    // A GPS position of latDeg 51' 30" N, 2 17' 40" E; no GPS block when !gps.
    bool gps = false;
    int latDeg = 48;
    std::string keywords;  // "" = no IPTC block
    std::string city;
};

// The bytes of a JPEG file for `shot`.
std::string Jpeg(const Shot& shot);

// Writes `bytes` to `path`, making its folders; false on failure.
bool WriteFile(const std::string& path, const std::string& bytes);

}  // namespace pictures
