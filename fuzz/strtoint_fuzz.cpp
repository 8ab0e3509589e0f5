// StrToInt and its relatives against a reference built on the C library's
// strtoll/strtoul, plus round trips through the written decimal form.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IntegerReference.h"
#include "vcl/SysUtils.h"

namespace {

using fuzz::IsWrittenForm;

void CheckRoundTrip(int32_t v, const std::string& context) {
    const std::wstring w = vcl::IntToStr(v);
    CHECK(IsWrittenForm(w), context + ": IntToStr gives " + fuzz::Show(w));
    CHECK((w[0] == L'-') == (v < 0), context + ": sign of " + fuzz::Show(w));
    int32_t back = 0;
    CHECK(vcl::TryStrToInt(w, back) && back == v,
          context + ": " + fuzz::Show(w) + " does not read back as " + std::to_string(v));
    // The same bits in hexadecimal, eight digits, read back as v.
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08" PRIX32, static_cast<uint32_t>(v));
    const std::wstring h(hex, hex + 8);
    for (const wchar_t* prefix : {L"$", L"0x", L"X"}) {
        back = 0;
        CHECK(vcl::TryStrToInt(prefix + h, back) && back == v,
              context + ": " + fuzz::Show(prefix + h) + " does not read back");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring text = fuzz::Utf16(data, size);
    const fuzz::Parsed want = fuzz::ReadInteger(text);

    const int32_t sentinel = size >= 4 ? static_cast<int32_t>(data[0] | data[1] << 8 |
                                                              data[2] << 16 |
                                                              static_cast<uint32_t>(data[3]) << 24)
                                       : 77;
    int32_t got = sentinel;
    const bool ok = vcl::TryStrToInt(text, got);
    CHECK(ok == want.ok, fuzz::Show(text) + (ok ? " accepted" : " refused"));
    if (ok)
        CHECK(got == want.value, fuzz::Show(text) + " read as " + std::to_string(got) +
                                     ", expected " + std::to_string(want.value));
    else
        CHECK(got == sentinel, fuzz::Show(text) + ": a refused text changed the value");

    CHECK(vcl::StrToIntDef(text, sentinel) == (ok ? got : sentinel), "StrToIntDef");

    // StrToInt raises EConvertError exactly when TryStrToInt refuses, and
    // names the text.
    bool raised = false;
    try {
        const int32_t v = vcl::StrToInt(text);
        CHECK(ok && v == got, fuzz::Show(text) + ": StrToInt returned " + std::to_string(v));
    } catch (const vcl::EConvertError& e) {
        raised = true;
        CHECK(e.Message() == L"'" + text + L"' \u306F\u6574\u6570\u3067\u306F\u3042\u308A\u307E\u305B\u3093",
              "message " + fuzz::Show(e.Message()));
    }
    CHECK(raised == !ok, fuzz::Show(text) + ": StrToInt raised " + (raised ? "" : "nothing"));

    if (ok) {
        // Nothing stands after the digits.
        CHECK(std::wstring(L"0123456789abcdefABCDEF").find(text.back()) != std::wstring::npos,
              fuzz::Show(text) + " accepted with trailing junk");
        CheckRoundTrip(got, "read from " + fuzz::Show(text));
        // A text already in the written form is exactly what IntToStr writes.
        if (IsWrittenForm(text))
            CHECK(vcl::IntToStr(got) == text,
                  fuzz::Show(text) + " written back as " + fuzz::Show(vcl::IntToStr(got)));
    }
    CheckRoundTrip(sentinel, "the input's first four bytes");

    // Any 64-bit number in decimal: accepted exactly when it fits 32 bits.
    if (size >= 8) {
        int64_t wide = 0;
        for (int k = 7; k >= 0; --k)
            wide = static_cast<int64_t>(static_cast<uint64_t>(wide) << 8 | data[k]);
        const bool fits = wide >= INT32_MIN && wide <= INT32_MAX;
        const std::wstring plain = vcl::IntToStr(wide);
        // With blanks, a sign and a leading zero in front; a second sign
        // after "+0" makes it junk.
        const std::wstring padded = L"  +0" + plain;
        int32_t v = 0;
        bool read = vcl::TryStrToInt(plain, v);
        CHECK(read == fits && (!read || v == wide),
              fuzz::Show(plain) + (read ? " read as " + std::to_string(v) : " refused"));
        read = vcl::TryStrToInt(padded, v);
        CHECK(read == (fits && wide >= 0) && (!read || v == wide),
              fuzz::Show(padded) + (read ? " read as " + std::to_string(v) : " refused"));
    }
    return 0;
}
