#include "scan/number_text.h"

#include <climits>
#include <cmath>
#include <cwchar>
#include <string_view>

namespace scan {
namespace {

constexpr std::wstring_view kDigits = L"0123456789";
constexpr std::wstring_view kIntChars = L"0123456789 +-";
constexpr std::wstring_view kDoubleChars = L"0123456789 +-.";

template <class Ch>
bool IsSpace(Ch c) {
    return c == Ch(' ') || (c >= Ch('\t') && c <= Ch('\r'));
}

template <class Ch>
bool IsDigit(Ch c) {
    return c >= Ch('0') && c <= Ch('9');
}

template <class Ch>
int TextToIntT(const Ch* text) {
    if (text == nullptr) return 0;
    while (IsSpace(*text))
        ++text;
    bool negative = false;
    if (*text == Ch('+') || *text == Ch('-')) negative = (*text++ == Ch('-'));
    long long value = 0;
    for (; IsDigit(*text); ++text) {
        value = value * 10 + (*text - Ch('0'));
        if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;  // clamp, keep going
    }
    if (negative) return value > INT_MAX ? INT_MIN : int(-value);
    return value > INT_MAX ? INT_MAX : int(value);
}

// Position of the first character of `text` that belongs to `set`, or npos.
size_t FindFirstIn(std::wstring_view text, std::wstring_view set) {
    return text.find_first_of(set);
}

// From the first character of `text` that belongs to `set` (what comes before it is
// not looked at): "[blanks] [sign] body [blanks]". Returns the body (maybe empty) and
// the sign; false when no character of the text is in `set`.
bool SplitNumber(const wchar_t* text, std::wstring_view set, bool& negative,
                 std::wstring_view& body) {
    if (text == nullptr) return false;
    std::wstring_view all(text);
    size_t start = FindFirstIn(all, set);
    if (start == std::wstring_view::npos) return false;
    std::wstring_view rest = all.substr(start);
    size_t firstNonBlank = rest.find_first_not_of(L' ');
    if (firstNonBlank == std::wstring_view::npos) return false;
    rest.remove_prefix(firstNonBlank);
    negative = false;
    if (rest.front() == L'+' || rest.front() == L'-') {
        negative = rest.front() == L'-';
        rest.remove_prefix(1);
    }
    size_t lastNonBlank = rest.find_last_not_of(L' ');
    body = lastNonBlank == std::wstring_view::npos ? std::wstring_view()
                                                   : rest.substr(0, lastNonBlank + 1);
    return true;
}

}  // namespace

int TextToInt(const wchar_t* text) {
    return TextToIntT(text);
}

int TextToInt(const char* text) {
    return TextToIntT(text);
}

// Examined from the first digit, blank or sign on: optional blanks, at most one sign
// right before the digits, one run of digits, optional trailing blanks ("1 2", "+-1",
// "12a" and "" are refused), and the digits fit an int. The value is the conversion of
// the whole text, so text before that first character counts: "a12" reads as 0.
bool IsIntText(const wchar_t* text, int& value) {
    bool negative = false;
    std::wstring_view body;
    if (!SplitNumber(text, kIntChars, negative, body)) return false;
    if (body.empty() || body.find_first_not_of(kDigits) != std::wstring_view::npos) return false;
    long long v = 0;
    for (wchar_t c : body) {
        v = v * 10 + (c - L'0');
        if (v > 1LL + INT_MAX) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = TextToInt(text);
    return true;
}

// Examined from the first digit, blank, sign or point on: optional blanks, at most one
// sign, digits with at most one decimal point and at least one digit ("5", "-0.25",
// ".5", "5."), optional trailing blanks; no exponents. The value is the C library's
// conversion of the whole text (as for integers, text before that first character
// counts); a value that is not finite is refused.
bool IsDoubleText(const wchar_t* text, double& value) {
    bool negative = false;
    std::wstring_view body;
    if (!SplitNumber(text, kDoubleChars, negative, body)) return false;
    size_t digits = 0, points = 0;
    for (wchar_t c : body) {
        if (IsDigit(c)) {
            ++digits;
        } else if (c == L'.') {
            ++points;
        } else {
            return false;
        }
    }
    if (digits == 0 || points > 1) return false;
    double v = std::wcstod(text, nullptr);
    if (!std::isfinite(v)) return false;
    value = v;
    return true;
}

bool IsFracText(const wchar_t* text, int& numerator, int& denominator) {
    if (text == nullptr) return false;
    std::wstring_view all(text);
    size_t p1 = all.find_first_of(kIntChars);
    if (p1 == std::wstring_view::npos) return false;
    size_t p2 = all.find(L'/', p1);
    if (p2 == std::wstring_view::npos) return false;
    size_t p3 = all.find_first_of(kIntChars, p2);
    if (p3 == std::wstring_view::npos) return false;
    if (all.find_first_not_of(kDigits, p3) != std::wstring_view::npos) return false;
    numerator = TextToInt(text + p1);
    denominator = TextToInt(text + p3);
    return true;
}

}  // namespace scan
