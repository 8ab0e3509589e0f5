#include "vcl/SysUtils.h"

#include "os/Os.h"

namespace vcl {

std::wstring FormatStr(const std::wstring& pattern, const std::wstring& arg) {
    std::wstring out = pattern;
    auto at = out.find(L"%s");
    if (at != std::wstring::npos)
        out.replace(at, 2, arg);
    return out;
}

namespace {

// The line as the C runtime sees it: it ends at the first NUL.
const wchar_t* LineEnd(const std::wstring& line) {
    auto nul = line.find(L'\0');
    return line.data() + (nul == std::wstring::npos ? line.size() : nul);
}

// Reads one argument starting at p and returns it; p is left after it.
// Blanks, control characters and pairs of quotes before it are skipped.
std::wstring NextParam(const wchar_t*& p, const wchar_t* end) {
    for (;;) {
        while (p < end && *p <= L' ')
            ++p;
        if (end - p >= 2 && p[0] == L'"' && p[1] == L'"')
            p += 2;
        else
            break;
    }
    std::wstring arg;
    while (p < end && *p > L' ') {
        if (*p == L'"') {
            // A quoted stretch: to the next quote or the end of the line.
            ++p;
            while (p < end && *p != L'"')
                arg += *p++;
            if (p < end)
                ++p;
        } else {
            arg += *p++;
        }
    }
    return arg;
}

} // namespace

std::wstring ParamStrOf(const std::wstring& commandLine, int index) {
    if (index < 0)
        return std::wstring();
    const wchar_t* p = commandLine.data();
    const wchar_t* end = LineEnd(commandLine);
    std::wstring arg = NextParam(p, end);
    for (int i = 1; i <= index; ++i) {
        arg = NextParam(p, end);
        // Nothing counts after the first empty argument.
        if (arg.empty())
            break;
    }
    return arg;
}

int ParamCountOf(const std::wstring& commandLine) {
    const wchar_t* p = commandLine.data();
    const wchar_t* end = LineEnd(commandLine);
    NextParam(p, end); // the program as written
    int count = 0;
    while (!NextParam(p, end).empty())
        ++count;
    return count;
}

int ParamCount() { return ParamCountOf(os::Sys().CommandLine()); }

std::wstring ParamStr(int index) {
    if (index == 0)
        return os::Sys().ModulePath();
    return ParamStrOf(os::Sys().CommandLine(), index);
}

namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9')
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

} // namespace

bool TryStrToInt(const std::wstring& text, int32_t& value) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == L' ')
        ++i;
    if (i == n)
        return false;

    size_t hexStart = 0;
    if (text[i] == L'$' || text[i] == L'x' || text[i] == L'X')
        hexStart = i + 1;
    else if (text[i] == L'0' && i + 1 < n && (text[i + 1] == L'x' || text[i + 1] == L'X'))
        hexStart = i + 2;

    if (hexStart) {
        size_t j = hexStart;
        if (j == n)
            return false;
        uint32_t bits = 0;
        int significant = 0;
        for (; j < n; ++j) {
            int d = HexDigit(text[j]);
            if (d < 0)
                return false;
            if (significant || d) {
                if (++significant > 8)
                    return false;
            }
            bits = (bits << 4) | static_cast<uint32_t>(d);
        }
        value = static_cast<int32_t>(bits);
        return true;
    }

    bool negative = false;
    if (text[i] == L'+' || text[i] == L'-') {
        negative = text[i] == L'-';
        ++i;
    }
    if (i == n)
        return false;
    // Accumulated as a magnitude; the limit keeps it from overflowing.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; i < n; ++i) {
        wchar_t c = text[i];
        if (c < L'0' || c > L'9')
            return false;
        magnitude = magnitude * 10 + (c - L'0');
        if (magnitude > limit)
            return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

int32_t StrToInt(const std::wstring& text) {
    int32_t value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(FormatStr(L"'%s' は整数ではありません", text));
    return value;
}

int32_t StrToIntDef(const std::wstring& text, int32_t def) {
    int32_t value = 0;
    return TryStrToInt(text, value) ? value : def;
}

// By hand: std::to_wstring goes through the C runtime's formatter, which
// would add more to the program than this whole unit.
std::wstring IntToStr(int64_t value) {
    wchar_t digits[20];
    wchar_t* p = digits + 20;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        *--p = L'-';
    return std::wstring(p, digits + 20);
}

} // namespace vcl
