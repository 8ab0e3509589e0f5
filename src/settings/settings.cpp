#include "settings/settings.h"

#include "os/Os.h"
#include "vcl/SysUtils.h"

namespace settings {

const wchar_t kSaverSection[] = L"KS_SCR";
const wchar_t kIntervalKey[] = L"Interval";
const wchar_t kModeKey[] = L"Mode";
const wchar_t kFilesSection[] = L"SCRFiles";

std::wstring SlotKey(int slot) { return L"No" + vcl::IntToStr(slot); }

std::wstring SettingsPathFor(const std::wstring& programPath) {
    // Only a dot after the last folder or drive separator starts an
    // extension; "/" is not a separator here.
    auto last = programPath.find_last_of(L".\\:");
    std::wstring base = programPath;
    if (last != std::wstring::npos && programPath[last] == L'.')
        base.erase(last);
    return base + L".ini";
}

std::wstring SettingsPath() { return SettingsPathFor(os::Sys().ModulePath()); }

} // namespace settings
