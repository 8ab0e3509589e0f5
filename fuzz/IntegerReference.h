// An integer reader written from the syntax rules, independent of the
// product's: shared by the StrToInt and settings-file targets.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz {

struct Parsed {
    bool ok = false;
    int32_t value = 0;
};

inline bool AllOf(const std::string& s, const char* set) {
    return !s.empty() && s.find_first_not_of(set) == std::string::npos;
}

// The integer syntax, checked character class by character class and
// converted by the C library.
inline Parsed ReadInteger(const std::wstring& text) {
    const size_t start = text.find_first_not_of(L' ');
    if (start == std::wstring::npos)
        return {};
    std::string s;
    for (size_t i = start; i < text.size(); ++i) {
        if (text[i] <= 0 || text[i] > 127)
            return {}; // every accepted form is plain ASCII
        s += static_cast<char>(text[i]);
    }

    size_t digitsAt = 0;
    if (s.compare(0, 2, "0x") == 0 || s.compare(0, 2, "0X") == 0)
        digitsAt = 2;
    else if (s[0] == '$' || s[0] == 'x' || s[0] == 'X')
        digitsAt = 1;
    if (digitsAt) {
        const std::string digits = s.substr(digitsAt);
        if (!AllOf(digits, "0123456789abcdefABCDEF"))
            return {};
        const size_t firstSignificant = digits.find_first_not_of('0');
        const std::string significant =
            firstSignificant == std::string::npos ? "0" : digits.substr(firstSignificant);
        if (significant.size() > 8)
            return {};
        const unsigned long bits = std::strtoul(significant.c_str(), nullptr, 16);
        return {true, static_cast<int32_t>(static_cast<uint32_t>(bits))};
    }

    const std::string digits = s[0] == '+' || s[0] == '-' ? s.substr(1) : s;
    if (!AllOf(digits, "0123456789"))
        return {};
    errno = 0;
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return {};
    return {true, static_cast<int32_t>(v)};
}

// The written form: "-" for a negative value, then digits without leading
// zeros.
inline bool IsWrittenForm(const std::wstring& w) {
    const size_t digits = !w.empty() && w[0] == L'-' ? 1 : 0;
    if (w.size() <= digits)
        return false;
    for (size_t i = digits; i < w.size(); ++i)
        if (w[i] < L'0' || w[i] > L'9')
            return false;
    if (w[digits] == L'0')
        return w == L"0";
    return true;
}

} // namespace fuzz
