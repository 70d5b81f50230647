// picdex::AnalysePictureFile: the analyser's record of one file, as a list of fields.
#include "analysis/file_info.h"

#include "analysis/file_analyze.h"
#include "db/text_codec.h"
#include "picdex/common_func.h"
#include "platform/file.h"

namespace picdex {
namespace {

class FieldList {
public:
    FieldList(std::vector<FileField>& out, const char* part) : m_out(out), m_part(part) {}
    FieldList& N(const char* name, std::int64_t v) {
        m_out.push_back({m_part, name, FileField::Number, v, {}});
        return *this;
    }
    FieldList& S(const char* name, const CString& v) {
        m_out.push_back({m_part, name, FileField::Text, 0, WideToUtf8(v)});
        return *this;
    }
    FieldList& T(const char* name, const CTime& v) {
        m_out.push_back({m_part, name, FileField::Time, v.GetTime(), {}});
        return *this;
    }

private:
    std::vector<FileField>& m_out;
    std::string m_part;
};

void List(const _tagFileDetail& d, std::vector<FileField>& out) {
    const _tagFileInfo& f = d.fileInfo;
    FieldList(out, "file")
        .N("iFileID", f.iFileID)
        .N("iPathID", f.iPathID)
        .N("iHeight", f.iHeight)
        .N("iWidth", f.iWidth)
        .N("iBPP", f.iBPP)
        .N("iPageCount", f.iPageCount)
        .N("iIptcID", f.iIptcID)
        .N("iExifID", f.iExifID)
        .N("iGpsID", f.iGpsID)
        .N("iFileSize", f.iFileSize)
        .T("tSnapTime", f.tSnapTime)
        .T("tFileCreate", f.tFileCreate)
        .T("tFileModify", f.tFileModify)
        .T("tFileSearch", f.tFileSearch)
        .S("strFileName", f.strFileName)
        .S("strExt", f.strExt)
        .S("strMD5", f.strMD5);
    const _tagExifInfo& e = d.exifInfo;
    FieldList(out, "exif")
        .N("iExifID", e.iExifID)
        .N("iExposureTimeL", e.iExposureTimeL)
        .N("iExposureTimeR", e.iExposureTimeR)
        .N("iApertureL", e.iApertureL)
        .N("iApertureR", e.iApertureR)
        .N("iISO", e.iISO)
        .N("iFocalLenL", e.iFocalLenL)
        .N("iFocalLenR", e.iFocalLenR)
        .N("iExposureCompL", e.iExposureCompL)
        .N("iExposureCompR", e.iExposureCompR)
        .N("iWTL", e.iWTL)
        .N("iWTR", e.iWTR)
        .T("tDititalTime", e.tDititalTime)
        .S("strManufacturer", e.strManufacturer)
        .S("strModel", e.strModel);
    const _tagIptcInfo& i = d.iptcInfo;
    FieldList(out, "iptc")
        .N("iIptcID", i.iIptcID)
        .S("strMemoInfo", i.strMemoInfo)
        .S("strKeyWord", i.strKeyWord)
        .S("strTitle", i.strTitle)
        .S("strClass", i.strClass)
        .S("strLocation", i.strLocation)
        .S("strCity", i.strCity)
        .S("strCountry", i.strCountry)
        .S("strCopyRight", i.strCopyRight)
        .S("strWriter", i.strWriter);
    const _tagGpsInfo& g = d.gpsInfo;
    FieldList(out, "gps")
        .N("iGpsID", g.iGpsID)
        .N("iLatitude", g.iLatitude)
        .N("iLongitute", g.iLongitute)
        .N("iAltitute", g.iAltitute)
        .N("iGpsSpeed", g.iGpsSpeed)
        .T("tGpsTime", g.tGpsTime);
    FieldList(out, "").S("strFolder", d.strFolder);
}

}  // namespace

FileStatus AnalysePictureFile(const CString& path, bool digest, std::vector<FileField>* fields) {
    _tagFileDetail detail;
    detail.strFolder = CCommonFunc::GetParentFolder(path);
    FileStatus status = FileStatus::Ok;
    if (CFileAnalyze::AnalyseFile(detail, path, 1, digest ? 1 : 0) == 0) {
        // As the scan decides: a file that is gone has no record; one that is there is
        // stored with what was reached.
        if (!PathFileExistsW(path) || CCommonFunc::IsDirectory(path)) {
            return PathFileExistsW(path) ? FileStatus::Unreadable : FileStatus::Missing;
        }
        status = detail.fileInfo.iFileSize > CFileAnalyze::kMaxReadSize ? FileStatus::TooLarge
                                                                        : FileStatus::Unreadable;
    }
    if (detail.fileInfo.strMD5.compare(L"0") < 0) detail.fileInfo.strMD5 = L"0";
    if (fields) ListRecordFields(detail, *fields);
    return status;
}

}  // namespace picdex

void ListRecordFields(const _tagFileDetail& detail, std::vector<picdex::FileField>& fields) {
    fields.clear();
    picdex::List(detail, fields);
}
