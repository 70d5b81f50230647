#include "pictures.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "db/text_codec.h"

namespace antest {

std::string FixtureDir() {
    return ANALYSIS_FIXTURES;
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureDir())) {
        std::string name = entry.path().filename().string();
        if (name != "stamp" && !name.ends_with(".txt")) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> Expected(const std::string& name) {
    std::map<std::string, std::string> values;
    std::ifstream in(FixtureDir() + "/" + name + ".txt");
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); line.starts_with("-") && eq != std::string::npos)
            values[line.substr(1, eq - 1)] = line.substr(eq + 1);
    return values;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes JpegWithExif(const Bytes& tiff, const Bytes& datasets) {
    Bytes out = {0xFF, 0xD8}, exif = exiftest::Str(std::string("Exif\0\0", 6)),
          iptc = exiftest::Str(std::string("Photoshop 3.0", 14));
    exiftest::Append(exif, tiff);
    exiftest::Append(iptc, exiftest::ResourceBlock(0x0404, datasets));
    for (const auto& [marker, body] : {std::pair(0xE1, exif), {0xED, iptc}}) {
        if (marker == 0xED && datasets.empty()) continue;
        exiftest::Append(out, {0xFF, std::uint8_t(marker)});
        exiftest::PutBE16(out, unsigned(body.size() + 2));
        exiftest::Append(out, body);
    }
    const Bytes jpeg = ReadBytes(FixtureDir() + "/rgb.jpg");
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string Describe(const _tagFileDetail& d) {
    std::ostringstream s;
    auto t = [](const CString& text) { return WideToUtf8(text); };
    const _tagFileInfo& f = d.fileInfo;
    s << f.iFileID << " " << f.iPathID << " size " << f.iWidth << "x" << f.iHeight << " " << f.iBPP
      << "bpp " << f.iPageCount << "p links " << f.iIptcID << " " << f.iExifID << " " << f.iGpsID
      << " bytes " << f.iFileSize << " times " << f.tSnapTime.GetTime() << " "
      << f.tFileCreate.GetTime() << " " << f.tFileModify.GetTime() << " [" << t(f.strFileName)
      << "][" << t(f.strExt) << "][" << t(f.strMD5) << "]\n";
    const _tagExifInfo& e = d.exifInfo;
    s << "exif " << e.iExifID << " " << e.iExposureTimeL << "/" << e.iExposureTimeR << " "
      << e.iApertureL << "/" << e.iApertureR << " iso " << e.iISO << " " << e.iFocalLenL << "/"
      << e.iFocalLenR << " " << e.iExposureCompL << "/" << e.iExposureCompR << " " << e.iWTL << "/"
      << e.iWTR << " " << e.tDititalTime.GetTime() << " [" << t(e.strManufacturer) << "]["
      << t(e.strModel) << "]\n";
    const _tagIptcInfo& i = d.iptcInfo;
    s << "iptc " << i.iIptcID;
    for (const CString* text :
         {&i.strMemoInfo, &i.strKeyWord, &i.strTitle, &i.strClass, &i.strLocation, &i.strCity,
          &i.strCountry, &i.strCopyRight, &i.strWriter})
        s << " [" << t(*text) << "]";
    const _tagGpsInfo& g = d.gpsInfo;
    s << "\ngps " << g.iGpsID << " " << g.iLatitude << " " << g.iLongitute << " " << g.iAltitute
      << " " << g.iGpsSpeed << " " << g.tGpsTime.GetTime() << " [" << t(d.strFolder) << "]\n";
    return s.str();
}

}  // namespace antest
