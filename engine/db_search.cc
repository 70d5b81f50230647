#include "engine/db_search.h"

#include <climits>
#include <cwctype>

#include "analysis/file_analyze.h"
#include "db/db_facade.h"
#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"
#include "picdex/common_func.h"

namespace {

// Pieces of the search statements. Blanks are part of the texts: several pieces start
// with a blank where the piece before them ends with one.
constexpr char kFileWithPath[] =
    "tb_file_info left join tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID ";
constexpr char kJoinExif[] =
    " left join tb_exif_info on tb_exif_info.iExifID = tb_file_info.iExifID ";
constexpr char kJoinIptc[] =
    " left join tb_iptc_info on tb_iptc_info.iIptcID = tb_file_info.iIptcID ";
constexpr char kJoinGps[] = " left join tb_gps_info on tb_gps_info.iGpsID = tb_file_info.iGpsID ";
constexpr char kWhere[] = " where ";
constexpr char kNothing[] = " 0 = 1 ";
constexpr char kResultHead[] =
    "select strFullPath || strFileName as strFullPathName, iFileSize, tFileModify from ";

// Join bits of a field search, by the table that holds a field.
constexpr int kJoinFileBit = 1;
constexpr int kJoinIptcBit = 2;
constexpr int kJoinExifBit = 4;
constexpr int kJoinGpsBit = 8;

// Rows read between two looks at the cancel request while a statement's rows are read.
constexpr int kRowsPerCancelCheck = 1024;

// The integer value of a text as the quick search reads it: an optional sign and the
// leading digits, 0 when there are none; beyond the 32-bit range it stays at the limit.
int LeadingInt(const CString& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// What a NULL time column reads as (a text that is not a date, so time 0).
constexpr char kNullTime[] = "2000-00-00 01:01:01";

// A full path from the index's UTF-8. Its leading ASCII bytes (usually the whole path)
// are widened as they are, which is what decoding them gives; from the first other
// byte on, the text goes through the general conversion. Splitting there changes
// nothing, since no ASCII byte belongs to a longer sequence.
CString PathFromUtf8(const char* text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t ascii = 0;
    while (bytes[ascii] != 0 && bytes[ascii] < 0x80)
        ++ascii;
    CString path(bytes, bytes + ascii);
    if (bytes[ascii] != 0) path += Utf8ToWide(text + ascii);
    return path;
}

// The join bit of a table name of the field table.
int JoinBit(const CString& table) {
    if (table == L"tb_exif_info") return kJoinExifBit;
    if (table == L"tb_iptc_info") return kJoinIptcBit;
    if (table == L"tb_gps_info") return kJoinGpsBit;
    if (table == L"tb_file_info") return kJoinFileBit;
    return 0;
}

// One condition of a field search as SQL, or "" when its operator is unknown. The value
// is written as the host gave it: a quote inside it is not doubled.
std::string Predicate(const _tagFieldInfo& field, int op, const std::string& value) {
    const char* compare = nullptr;
    switch (op) {
        case kOpContains:
        case kOpContainsToo: {
            std::string out = WideToUtf8(field.strField);
            out.append(" LIKE '%").append(value).append("%' ");
            return out;
        }
        case kOpGreater:
            compare = " > ";
            break;
        case kOpGreaterEqual:
            compare = " >= ";
            break;
        case kOpEqual:
            compare = " = ";
            break;
        case kOpLessEqual:
            compare = " <= ";
            break;
        case kOpLess:
            compare = " < ";
            break;
        default:
            return std::string();
    }
    std::string out = WideToUtf8(field.strField);
    out += compare;
    if (field.iType == kFieldTime || field.iType == kFieldText)
        out.append(" '").append(value).append("' ");
    else
        out += value;
    return out;
}

}  // namespace

CDbSearch::CDbSearch(CDbFacade* db, ISearchResultSink* sink)
    : CLongThread(1, -1), m_pDb(db), m_pSink(sink) {}

CDbSearch::~CDbSearch() {
    // OnCancel and the steps use this object's members: stop the worker while they
    // still exist.
    Cancel(TRUE);
}

// ---------------------------------------------------------------- statements

CString CDbSearch::ConvertWildcards(const CString& text) {
    CString out;
    out.reserve(text.size() + 8);
    for (wchar_t c : text) {
        switch (c) {
            case L'_':
            case L'%':
                out += L'\\';
                out += c;
                break;
            case L'?':
                out += L'_';
                break;
            case L'*':
                out += L'%';
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CDbSearch::BuildQuickSql(const _tagQuickSearch& request) {
    size_t start = 0;
    while (start < request.strText.size() && std::iswspace(request.strText[start]))
        ++start;
    const CString text = request.strText.substr(start);
    CTime from, to;
    const bool isTime = CCommonFunc::CanBeTime(text.c_str(), from, to) != 0;
    const int number = LeadingInt(text);
    const std::string like = SqlLike(text);

    std::string from_clause = kFileWithPath;
    std::string where = kNothing;
    if (request.iScope & kScopeNames) {
        where.append(" OR strFullPath like ").append(like);
        where.append(" OR strFileName like  ").append(like);
        if (isTime) {
            const std::string first = SqlTime(from), last = SqlTime(to);
            where.append(" OR (tFileCreate >=  ").append(first);
            where.append(" AND tFileCreate <  ").append(last);
            where.append(") OR (tSnapTime >=  ").append(first);
            where.append(" AND tSnapTime <  ").append(last).append(")");
        }
    }
    if (request.iScope & kScopeIptc) {
        from_clause += kJoinIptc;
        where.append(" OR strTitle like  ").append(like);
        where.append(" OR strKeyWord like  ").append(like);
        where.append(" OR strCountry like  ").append(like);
        where.append(" OR strCity like  ").append(like);
    }
    if (request.iScope & kScopeCamera) {
        from_clause += kJoinExif;
        where.append(" OR strManufacturer like  ").append(like);
        where.append(" OR strModel like  ").append(like);
    }
    if (number > 0 && (request.iScope & kScopeGps)) {
        from_clause += kJoinGps;
        const std::string n = SqlInt(number);
        where.append(" OR iLatitude =  ").append(n);
        where.append(" OR iLongitute =  ").append(n);
        where.append(" OR iAltitute =  ").append(n);
    }
    return from_clause + kWhere + where;
}

std::string CDbSearch::BuildFieldSql(const _tagFieldSearch& request) {
    std::string clause;
    if (!request.setPathTexts.empty()) {
        clause.push_back('(');
        bool first = true;
        for (const CString& text : request.setPathTexts) {
            if (!first) clause += " OR ";
            first = false;
            clause.append(" strFullPath || strFileName like '%").append(WideToUtf8(text));
            clause += "%'";
        }
        clause += ")";
    }
    int joins = 0;
    for (const _tagSearchCondition& condition : request.lstConditions) {
        _tagFieldInfo field;
        if (!CCommonFunc::GetFieldInfo(condition.iFieldID, field)) continue;
        joins |= JoinBit(field.strTable);
        std::string predicate =
            Predicate(field, condition.iOperator, WideToUtf8(condition.strValue));
        if (predicate.empty()) continue;
        if (clause.size() > 3) clause += " AND ";
        clause += predicate;
    }
    std::string tail = kFileWithPath;
    if (joins & kJoinExifBit) tail += kJoinExif;
    if (joins & kJoinIptcBit) tail += kJoinIptc;
    if (joins & kJoinGpsBit) tail += kJoinGps;
    if (clause.size() > 3) tail.append(kWhere).append(clause);
    return tail;
}

std::string CDbSearch::BuildResultSql(const std::string& tail) {
    return kResultHead + tail;
}

// ---------------------------------------------------------------- starting

int CDbSearch::Begin(ThreadFunc step) {
    if (m_strSqlTail.empty()) return 0;
    m_mapResults.clear();
    return Start(step, this, FALSE);
}

int CDbSearch::StartQuickSearch(const _tagQuickSearch& request) {
    if (!IsFinish()) return 0;
    m_mapResults.clear();
    m_quickRequest = request;
    m_quickRequest.strText = ConvertWildcards(request.strText);
    m_bVerify = request.bVerify;
    m_bQueried = 0;
    m_strSqlTail = BuildQuickSql(m_quickRequest);
    return Begin(&CDbSearch::QuickStep);
}

int CDbSearch::StartFieldSearch(const _tagFieldSearch& request) {
    if (!IsFinish()) return 0;
    m_mapResults.clear();
    m_fieldRequest = request;
    m_bVerify = request.bVerify;
    m_bQueried = 0;
    m_strSqlTail = BuildFieldSql(m_fieldRequest);
    return Begin(&CDbSearch::FieldStep);
}

void CDbSearch::OnCancel() {
    m_mapResults.clear();
}

// ---------------------------------------------------------------- the worker's steps

DWORD CDbSearch::QuickStep(void* pParam, unsigned int) {
    auto* self = static_cast<CDbSearch*>(pParam);
    // Every step counts the text once more in the search history.
    if (self->m_pDb) {
        try {
            self->m_pDb->AddSearch(self->m_quickRequest.strText);
        } catch (const CppSQLite3Exception&) {
            // A step that fails ends the search where it stands: nothing more is
            // delivered, as when the statement itself is rejected.
            self->m_mapResults.clear();
            return 0;
        }
    }
    return self->CommonStep();
}

DWORD CDbSearch::FieldStep(void* pParam, unsigned int) {
    return static_cast<CDbSearch*>(pParam)->CommonStep();
}

DWORD CDbSearch::CommonStep() {
    if (!m_bQueried) {
        m_bQueried = 1;
        bool found;
        try {
            found = RunQuery();
        } catch (const CppSQLite3Exception&) {
            // A rejected statement ends the search without results and without message.
            m_mapResults.clear();
            return 0;
        }
        // Rows count as found even when none of them had a usable path.
        if (found) return 1;
    }
    if (m_mapResults.empty()) return 0;
    if (m_bVerify) {
        auto first = m_mapResults.begin();
        if (!IsUnchangedOnDisk(first->first, first->second)) {
            m_mapResults.erase(first);
            return 1;
        }
    }
    // A cancel that arrived during this step: nothing more is handed over.
    if (IsUserCancel()) {
        m_mapResults.clear();
        return 0;
    }
    if (m_pSink) m_pSink->RecordResults(m_mapResults);
    m_mapResults.clear();
    return 1;
}

bool CDbSearch::RunQuery() {
    if (!m_pDb) return false;
    CDBMng& db = m_pDb->GetDbMng();
    const std::string sql = BuildResultSql(m_strSqlTail);
    // The statement is text built from what a host passed in, and a field search writes
    // its values unquoted and unescaped. Whatever a request holds, a search only reads:
    // the statement must be exactly one read-only statement, else it is refused as
    // the database refuses a malformed one, and the index is never changed by it.
    CSingleLock lock(&db.GetLock(), TRUE);
    CppSQLite3Query q = db.QueryReadOnly(sql.c_str());
    if (q.IsEnd()) return false;
    // The columns are found by name once; each row is then read by position, one call
    // into the database per value.
    const int pathColumn = q.ColumnIndex("strFullPathName");
    const int sizeColumn = q.ColumnIndex("iFileSize");
    const int modifyColumn = q.ColumnIndex("tFileModify");
    int rows = 0;
    for (; !q.IsEnd(); q.Next()) {
        if (++rows % kRowsPerCancelCheck == 0 && IsUserCancel()) return true;
        const char* path = q.ColumnText(pathColumn);
        if (!path) continue;  // no folder row: the path reads as empty
        CString fullPath = PathFromUtf8(path);
        if (fullPath.size() < 3) continue;
        // The size is read as a 32-bit value and widened: a file of 2 GiB or more (far
        // beyond the pictures the analysis reads) does not keep its size here, and a
        // verified search drops it when it leads the results.
        const LONGLONG size = q.ColumnInt(sizeColumn);
        const char* modify = q.ColumnText(modifyColumn);
        // Rows mostly come folder by folder in path order: a hint at the end makes
        // those inserts constant-time, and a wrong hint only costs the usual search.
        m_mapResults.emplace_hint(m_mapResults.end(), std::move(fullPath),
                                  std::make_pair(size, ParseTimeText(modify ? modify : kNullTime)));
    }
    return true;
}

bool CDbSearch::IsUnchangedOnDisk(const CString& path, const std::pair<LONGLONG, CTime>& stored) {
    _tagFileInfo facts;
    if (!CFileAnalyze::AnalyseFile(facts, path, 0, 0)) return false;
    return facts.iFileSize == stored.first && facts.tFileModify == stored.second;
}
