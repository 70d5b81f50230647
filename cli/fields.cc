#include "cli/fields.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cli/output.h"
#include "picdex/host_paths.h"

namespace cli {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysIn(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Reads exactly `width` digits at s[*i] (width 0: one to four digits).
bool Digits(const std::string& s, size_t* i, size_t width, int* value) {
    size_t start = *i, n = 0;
    int v = 0;
    while (*i < s.size() && std::isdigit(static_cast<unsigned char>(s[*i])) &&
           (width == 0 ? n < 4 : n < width)) {
        v = v * 10 + (s[*i] - '0');
        ++*i;
        ++n;
    }
    if (n == 0 || (width != 0 && n != width)) {
        *i = start;
        return false;
    }
    *value = v;
    return true;
}

std::string TimeText(int y, int mo, int d, int h, int mi, int s) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
    return buf;
}

// A whole number that fits in 64 bits, with an optional sign.
bool WholeNumber(const std::string& text, long long* value) {
    if (text.empty()) return false;
    size_t i = (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return false;
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE) return false;
    *value = v;
    return true;
}

bool ByteCount(const std::string& text, long long* value) {
    if (text.empty()) return false;
    long long scale = 1;
    std::string digits = text;
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
        case 'K':
            scale = 1024;
            break;
        case 'M':
            scale = 1024 * 1024;
            break;
        case 'G':
            scale = 1024LL * 1024 * 1024;
            break;
        default:
            break;
    }
    if (scale != 1) digits.pop_back();
    long long v;
    if (!WholeNumber(digits, &v) || v < 0) return false;
    if (v > std::numeric_limits<long long>::max() / scale) return false;
    *value = v * scale;
    return true;
}

// Decimal degrees ("48.8584", "-2.29") as whole arc seconds.
bool Degrees(const std::string& text, double limit, long long* seconds) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '+')
            return false;
    char* end = nullptr;
    double d = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(d) || std::fabs(d) > limit)
        return false;
    *seconds = std::llround(d * 3600.0);
    return true;
}

const std::vector<FieldName> kFields = {
    {"name", -12, FieldKind::kText, "file name"},
    {"path", -1, FieldKind::kText, "folder and file name"},
    {"ext", -3, FieldKind::kText, "file name extension (jpg, png, ...)"},
    {"size", -2, FieldKind::kBytes, "file size in bytes (K, M, G allowed: size>=2M)"},
    {"taken", -13, FieldKind::kTime, "when the picture was taken (else the file's creation)"},
    {"created", -5, FieldKind::kTime, "when the file was created"},
    {"modified", -6, FieldKind::kTime, "when the file was last written"},
    {"width", -9, FieldKind::kInteger, "width in pixels"},
    {"height", -8, FieldKind::kInteger, "height in pixels"},
    {"bpp", -10, FieldKind::kInteger, "bits per pixel"},
    {"pages", -11, FieldKind::kInteger, "pages or frames"},
    {"md5", -4, FieldKind::kText, "MD5 digest, for files 'picdex dupes' digested"},
    {"make", 271, FieldKind::kText, "camera maker"},
    {"model", 272, FieldKind::kText, "camera model"},
    {"iso", 34855, FieldKind::kInteger, "ISO speed"},
    {"exposure", 33434, FieldKind::kFraction, "exposure time in whole seconds"},
    {"aperture", 33437, FieldKind::kFraction, "f-number, whole part"},
    {"focal", 37386, FieldKind::kFraction, "focal length in whole millimetres"},
    {"expcomp", 37380, FieldKind::kFraction, "exposure compensation, whole steps"},
    {"maxaperture", 37381, FieldKind::kFraction, "largest aperture, whole part"},
    {"keyword", 537, FieldKind::kText, "IPTC keywords"},
    {"title", 632, FieldKind::kText, "IPTC title"},
    {"category", 527, FieldKind::kText, "IPTC category"},
    {"city", 602, FieldKind::kText, "IPTC city"},
    {"location", 604, FieldKind::kText, "IPTC location"},
    {"country", 613, FieldKind::kText, "IPTC country"},
    {"copyright", 628, FieldKind::kText, "IPTC copyright notice"},
    {"author", 634, FieldKind::kText, "IPTC author"},
    {"lat", 2, FieldKind::kDegrees, "GPS latitude in degrees, north positive"},
    {"lon", 4, FieldKind::kDegrees, "GPS longitude in degrees, east positive"},
    {"alt", 6, FieldKind::kInteger, "GPS altitude in metres"},
    {"gpstime", 7, FieldKind::kTime, "GPS time stamp"},
};

struct Operator {
    const char* text;
    int op;
};
// Longest first, so that ">=" is not read as ">".
const Operator kOperators[] = {{">=", kOpGreaterEqual}, {"<=", kOpLessEqual}, {"=", kOpEqual},
                               {"~", kOpContains},      {">", kOpGreater},    {"<", kOpLess}};

void Add(std::list<_tagSearchCondition>* out, int id, int op, const std::string& value) {
    _tagSearchCondition c;
    c.iFieldID = id;
    c.iOperator = op;
    c.strValue = picdex::Utf8ToText(value);
    out->push_back(std::move(c));
}

bool LooksLikeHostPath(const std::string& text) {
    return text.rfind("/", 0) == 0 || text == "~" || text.rfind("~/", 0) == 0 || text == "." ||
           text.rfind("./", 0) == 0 || text == ".." || text.rfind("../", 0) == 0;
}

}  // namespace

const std::vector<FieldName>& FieldNames() {
    return kFields;
}

const FieldName* FindField(const std::string& name) {
    std::string lower = Lower(name);
    for (const FieldName& f : kFields)
        if (lower == f.name) return &f;
    return nullptr;
}

const char* KindWord(FieldKind kind) {
    switch (kind) {
        case FieldKind::kText:
            return "text";
        case FieldKind::kInteger:
            return "number";
        case FieldKind::kBytes:
            return "bytes";
        case FieldKind::kFraction:
            return "number";
        case FieldKind::kTime:
            return "date";
        case FieldKind::kDegrees:
            return "degrees";
    }
    return "text";
}

bool DateRange(const std::string& text, std::string* first, std::string* last) {
    size_t i = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Digits(text, &i, 4, &y) || y < 1) return false;
    if (i == text.size()) {
        *first = TimeText(y, 1, 1, 0, 0, 0);
        *last = TimeText(y, 12, 31, 23, 59, 59);
        return true;
    }
    if (text[i++] != '-' || !Digits(text, &i, 2, &mo) || mo < 1 || mo > 12) return false;
    if (i == text.size()) {
        *first = TimeText(y, mo, 1, 0, 0, 0);
        *last = TimeText(y, mo, DaysIn(y, mo), 23, 59, 59);
        return true;
    }
    if (text[i++] != '-' || !Digits(text, &i, 2, &d) || d < 1 || d > DaysIn(y, mo)) return false;
    if (i == text.size()) {
        *first = TimeText(y, mo, d, 0, 0, 0);
        *last = TimeText(y, mo, d, 23, 59, 59);
        return true;
    }
    if ((text[i] != ' ' && text[i] != 'T') || !(++i, Digits(text, &i, 2, &h)) || h > 23)
        return false;
    if (i == text.size() || text[i++] != ':' || !Digits(text, &i, 2, &mi) || mi > 59) return false;
    if (i == text.size()) {
        *first = TimeText(y, mo, d, h, mi, 0);
        *last = TimeText(y, mo, d, h, mi, 59);
        return true;
    }
    if (text[i++] != ':' || !Digits(text, &i, 2, &s) || s > 59 || i != text.size()) return false;
    *first = *last = TimeText(y, mo, d, h, mi, s);
    return true;
}

bool QuoteFree(const std::string& text, std::string* error) {
    if (text.find('\'') == std::string::npos) return true;
    *error = "'" + text + "': the index cannot search for a text with a single quote (')";
    return false;
}

bool PathText(const std::string& text, CString* out, std::string* error) {
    if (!QuoteFree(text, error)) return false;
    if (text.empty()) {
        *error = "an empty path text finds everything; leave it out";
        return false;
    }
    if (LooksLikeHostPath(text)) {
        std::string host = text;
        if (host == "~" || host.rfind("~/", 0) == 0) {
            const char* home = std::getenv("HOME");
            host = std::string(home ? home : "") + host.substr(1);
        }
        return ToLibrary(host, out, error);
    }
    std::string library = text;
    for (char& c : library)
        if (c == '/') c = '\\';
    *out = picdex::Utf8ToText(library);
    return true;
}

bool ParseWhere(const std::string& expression, std::list<_tagSearchCondition>* out,
                std::string* error) {
    size_t nameEnd = 0;
    while (nameEnd < expression.size() &&
           (std::isalnum(static_cast<unsigned char>(expression[nameEnd])) ||
            expression[nameEnd] == '_' || expression[nameEnd] == '-'))
        ++nameEnd;
    std::string name = expression.substr(0, nameEnd);
    std::string rest = expression.substr(nameEnd);
    // Blanks around the operator are allowed ("iso >= 400" given as one word).
    size_t opStart = rest.find_first_not_of(' ');
    rest = opStart == std::string::npos ? std::string() : rest.substr(opStart);
    const Operator* op = nullptr;
    for (const Operator& o : kOperators) {
        if (rest.rfind(o.text, 0) == 0) {
            op = &o;
            break;
        }
    }
    if (name.empty() || !op) {
        if (rest.rfind("!=", 0) == 0)
            *error = "'" + expression + "': the index cannot search for inequality (!=)";
        else
            *error = "'" + expression +
                     "' is not a condition: write NAME OP VALUE with OP one of = ~ > >= < <= "
                     "(for example iso>=400, make~canon)";
        return false;
    }
    const FieldName* field = FindField(name);
    if (!field) {
        *error = "'" + name +
                 "' is not a field the index can search ('picdex search --fields' "
                 "lists them)";
        return false;
    }
    std::string value = rest.substr(std::string(op->text).size());
    size_t valueStart = value.find_first_not_of(' ');
    value = valueStart == std::string::npos ? std::string() : value.substr(valueStart);
    std::string where = "'" + expression + "': ";
    if (value.empty()) {
        *error = where + "a value is missing after '" + op->text + "'";
        return false;
    }
    if (value.find('\'') != std::string::npos) {
        *error = where + "the index cannot search for a value with a single quote (')";
        return false;
    }
    bool contains = op->op == kOpContains;
    if (contains && field->kind != FieldKind::kText && field->kind != FieldKind::kTime) {
        *error = where + "'~' compares texts; " + field->name + " is a number: use = < <= > >=";
        return false;
    }

    long long number = 0;
    switch (field->kind) {
        case FieldKind::kText: {
            if (field->id == -3 && value[0] == '.') value.erase(0, 1);  // ".jpg" -> "jpg"
            if (field->id == -1) {
                CString library;
                if (!PathText(value, &library, error)) return false;
                value = picdex::TextToUtf8(library);
            }
            Add(out, field->id, op->op, value);
            return true;
        }
        case FieldKind::kInteger:
            if (!WholeNumber(value, &number)) {
                *error = where + "'" + value + "' is not a whole number";
                return false;
            }
            Add(out, field->id, op->op, std::to_string(number));
            return true;
        case FieldKind::kBytes:
            if (!ByteCount(value, &number)) {
                *error = where + "'" + value + "' is not a size (a whole number of bytes, " +
                         "or with K, M or G)";
                return false;
            }
            Add(out, field->id, op->op, std::to_string(number));
            return true;
        case FieldKind::kFraction: {
            // The index compares the integer quotient of the stored fraction, so only
            // values that are whole numbers can match what the user means.
            long long num = 0, den = 1;
            size_t slash = value.find('/');
            bool ok = slash == std::string::npos
                          ? WholeNumber(value, &num)
                          : WholeNumber(value.substr(0, slash), &num) &&
                                WholeNumber(value.substr(slash + 1), &den) && den != 0;
            if (!ok) {
                *error = where + "'" + value + "' is not a whole number or a fraction A/B";
                return false;
            }
            if (num % den != 0) {
                *error = where + "the index compares " + field->name +
                         " in whole units only (a stored 1/250 counts as 0); '" + value +
                         "' is not a whole number";
                return false;
            }
            Add(out, field->id, op->op, std::to_string(num / den));
            return true;
        }
        case FieldKind::kDegrees:
            if (!Degrees(value, field->id == 2 ? 90.0 : 180.0, &number)) {
                *error = where + "'" + value + "' is not a " +
                         (field->id == 2 ? "latitude (-90 to 90" : "longitude (-180 to 180") +
                         " decimal degrees)";
                return false;
            }
            Add(out, field->id, op->op, std::to_string(number));
            return true;
        case FieldKind::kTime: {
            std::string first, last;
            if (!DateRange(value, &first, &last)) {
                *error = where + "'" + value +
                         "' is not a date (YYYY, YYYY-MM, YYYY-MM-DD or "
                         "YYYY-MM-DD HH:MM[:SS])";
                return false;
            }
            // A date stands for every second it covers.
            switch (op->op) {
                case kOpGreaterEqual:
                    Add(out, field->id, kOpGreaterEqual, first);
                    break;
                case kOpGreater:
                    Add(out, field->id, kOpGreater, last);
                    break;
                case kOpLessEqual:
                    Add(out, field->id, kOpLessEqual, last);
                    break;
                case kOpLess:
                    Add(out, field->id, kOpLess, first);
                    break;
                default:  // = and ~
                    if (first == last) {
                        Add(out, field->id, kOpEqual, first);
                    } else {
                        Add(out, field->id, kOpGreaterEqual, first);
                        Add(out, field->id, kOpLessEqual, last);
                    }
            }
            return true;
        }
    }
    return false;
}

}  // namespace cli
