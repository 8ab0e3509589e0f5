// The runtime routines the program relies on: errors, the command line,
// and text <-> integer conversion.
#pragma once

#include <cstdint>
#include <string>

namespace vcl {

// Base of the errors raised by this layer. An error that leaves an event
// handler is reported by TApplication's default handling.
class Exception {
  public:
    explicit Exception(std::wstring message) : message_(std::move(message)) {}
    virtual ~Exception() = default;
    const std::wstring& Message() const { return message_; }

  private:
    std::wstring message_;
};

class EConvertError : public Exception {
  public:
    using Exception::Exception;
};

// Replaces the first "%s" of pattern with arg.
std::wstring FormatStr(const std::wstring& pattern, const std::wstring& arg);

// Command-line splitting. Quote pairs and characters 1..32 are skipped
// before an argument; an argument runs to the next character 0..32 outside
// quotes; quotes are dropped; no escapes. Index 0 is the program as written.
// An index past the first empty argument gives the empty text.
std::wstring ParamStrOf(const std::wstring& commandLine, int index);
// Number of arguments after the program, up to the first empty one.
int ParamCountOf(const std::wstring& commandLine);

// The same for this process; ParamStr(0) is the program's full path.
int ParamCount();
std::wstring ParamStr(int index);

// Decimal with optional sign, or hexadecimal after "$", "x", "X", "0x", "0X"
// (at most 8 significant digits, taken as a 32-bit pattern), after leading
// blanks (code 32 only), with nothing after the digits.
bool TryStrToInt(const std::wstring& text, int32_t& value);
// As TryStrToInt; raises EConvertError "'%s' は整数ではありません" when the text
// does not convert.
int32_t StrToInt(const std::wstring& text);
int32_t StrToIntDef(const std::wstring& text, int32_t def);

std::wstring IntToStr(int64_t value);

} // namespace vcl
