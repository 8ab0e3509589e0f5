// Command-line splitting: ParamStrOf / ParamCountOf against a reference
// written straight from the splitting rules, plus properties that need no
// reference at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "vcl/SysUtils.h"

namespace {

struct Arg {
    std::wstring text;
    std::vector<bool> quoted; // per character: came from a quoted stretch
};

bool IsSeparator(wchar_t c) { return c >= 1 && c <= 32; }

// The arguments of a line, program first, up to and including the first
// empty one. A toggling quote state instead of the product's nested loops.
std::vector<Arg> Reference(const std::wstring& whole) {
    // A command line is a C string: nothing after a NUL exists.
    const std::wstring line = whole.substr(0, whole.find(L'\0'));
    const size_t n = line.size();
    std::vector<Arg> args;
    size_t i = 0;
    for (;;) {
        // Before an argument: separators and pairs of quotes, in any mix.
        for (;;) {
            if (i < n && IsSeparator(line[i]))
                i += 1;
            else if (i + 1 < n && line[i] == L'"' && line[i + 1] == L'"')
                i += 2;
            else
                break;
        }
        Arg arg;
        bool inQuotes = false;
        for (; i < n; ++i) {
            wchar_t c = line[i];
            if (c == L'"') {
                inQuotes = !inQuotes;
                continue;
            }
            if (!inQuotes && c <= 32)
                break;
            arg.text += c;
            arg.quoted.push_back(inQuotes);
        }
        const bool empty = arg.text.empty();
        args.push_back(std::move(arg));
        if (empty)
            return args;
    }
}

// Indices worth asking ParamStrOf for: each call rescans the line, so on a
// line with thousands of arguments only the first ones and the end.
std::vector<int> IndicesToCheck(int count) {
    std::vector<int> out;
    for (int i = -2; i <= std::min(count, 48) + 2; ++i)
        out.push_back(i);
    for (int i = std::max(count - 2, 51); i <= count + 3; ++i)
        out.push_back(i);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring line = fuzz::Utf16(data, size);
    const std::wstring cut = line.substr(0, line.find(L'\0'));
    const std::vector<Arg> ref = Reference(line);
    // Program, arguments, then the empty one that ends the count.
    const int refCount = std::max(0, static_cast<int>(ref.size()) - 2);
    // The reference's own arguments obey the rules they are built from.
    for (const Arg& a : ref)
        for (size_t k = 0; k < a.text.size(); ++k)
            CHECK(a.text[k] != L'"' && (a.quoted[k] || a.text[k] > 32), "reference");

    const int count = vcl::ParamCountOf(line);
    CHECK(count == refCount, "line " + fuzz::Show(line) + ": ParamCountOf " +
                                 std::to_string(count) + ", expected " +
                                 std::to_string(refCount));
    const int lineLength = static_cast<int>(cut.size());
    CHECK(count <= lineLength, "more arguments than characters");

    for (int i : IndicesToCheck(count)) {
        const std::wstring got = vcl::ParamStrOf(line, i);
        const std::wstring want =
            i >= 0 && i < static_cast<int>(ref.size()) ? ref[i].text : std::wstring();
        CHECK(got == want, "line " + fuzz::Show(line) + ": ParamStrOf(" + std::to_string(i) +
                               ") " + fuzz::Show(got) + ", expected " + fuzz::Show(want));
        // No quote and no NUL ever reach an argument; a blank or control
        // character only through quotes.
        CHECK(got.find_first_of(std::wstring(L"\"\0", 2)) == std::wstring::npos,
              "argument " + fuzz::Show(got) + " holds a quote or NUL");
        const bool hasSeparator =
            std::any_of(got.begin(), got.end(), [](wchar_t c) { return IsSeparator(c); });
        CHECK(!hasSeparator || cut.find(L'"') != std::wstring::npos,
              "argument " + fuzz::Show(got) + " holds a separator, with no quote on the line");
        // Numbered arguments up to ParamCount are non-empty, none after.
        if (i >= 1)
            CHECK(got.empty() == (i > count), "ParamStrOf(" + std::to_string(i) +
                                                  ") empty does not match ParamCount " +
                                                  std::to_string(count));
        if (i < 0)
            CHECK(got.empty(), "negative index");
    }

    // The arguments, in order, are drawn from the line in order: their
    // concatenation is a subsequence of the line.
    {
        size_t at = 0;
        const int last = std::min(count, 48);
        for (int i = 0; i <= last; ++i) {
            for (wchar_t c : vcl::ParamStrOf(line, i)) {
                at = cut.find(c, at);
                CHECK(at != std::wstring::npos, "argument " + std::to_string(i) +
                                                    " is not taken from the line " +
                                                    fuzz::Show(line));
                ++at;
            }
        }
    }

    // The process routines read the same line; argument 0 is the module.
    {
        fuzz::MemoryOs os;
        os.commandLine = line;
        os.modulePath = L"C:\\Savers\\KsScrExec.scr";
        CHECK(vcl::ParamCount() == count, "ParamCount differs from ParamCountOf");
        CHECK(vcl::ParamStr(0) == os.modulePath, "ParamStr(0) is not the module path");
        CHECK(vcl::ParamStr(1) == vcl::ParamStrOf(line, 1), "ParamStr(1)");
        CHECK(vcl::ParamStr(2) == vcl::ParamStrOf(line, 2), "ParamStr(2)");
    }
    return 0;
}
