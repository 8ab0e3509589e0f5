// INI-file object over the private-profile functions. It keeps only the
// path; every request goes to Windows, and freeing it flushes the file.
#pragma once

#include <cstdint>
#include <string>

#include "vcl/SysUtils.h"

namespace vcl {

class EIniFileException : public Exception {
  public:
    using Exception::Exception;
};

class TIniFile {
  public:
    explicit TIniFile(std::wstring fileName);
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::wstring& FileName() const { return fileName_; }

    // The value through TryStrToInt, or def when it is missing or malformed.
    int32_t ReadInteger(const std::wstring& section, const std::wstring& key, int32_t def);
    // The value, at most 2047 characters, or def when the key is missing.
    std::wstring ReadString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& def);
    // Raise EIniFileException "%s に書き込めません" (%s = the full path) when
    // Windows refuses the write.
    void WriteInteger(const std::wstring& section, const std::wstring& key, int32_t value);
    void WriteString(const std::wstring& section, const std::wstring& key,
                     const std::wstring& value);

  private:
    std::wstring fileName_;
};

} // namespace vcl
