#include "vcl/IniFiles.h"

#include "os/Os.h"

namespace vcl {

namespace {
// What GetPrivateProfileString's 2048-character buffer can return.
constexpr size_t kMaxValue = 2047;
} // namespace

TIniFile::TIniFile(std::wstring fileName) : fileName_(std::move(fileName)) {}

TIniFile::~TIniFile() {
    // Profile writes may sit in the system's cache; a freed object's writes
    // must be on disk.
    os::Sys().FlushProfile(fileName_);
}

int32_t TIniFile::ReadInteger(const std::wstring& section, const std::wstring& key,
                              int32_t def) {
    int32_t value = 0;
    if (TryStrToInt(os::Sys().ReadProfile(section, key, L"", fileName_), value))
        return value;
    return def;
}

std::wstring TIniFile::ReadString(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& def) {
    std::wstring value = os::Sys().ReadProfile(section, key, def, fileName_);
    if (value.size() > kMaxValue)
        value.resize(kMaxValue);
    return value;
}

void TIniFile::WriteInteger(const std::wstring& section, const std::wstring& key,
                            int32_t value) {
    WriteString(section, key, IntToStr(value));
}

void TIniFile::WriteString(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value) {
    if (!os::Sys().WriteProfile(section, key, value, fileName_))
        throw EIniFileException(FormatStr(L"%s に書き込めません", fileName_));
}

} // namespace vcl
