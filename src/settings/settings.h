// Where the settings file lives and what it holds.
#pragma once

#include <string>

namespace settings {

extern const wchar_t kSaverSection[];   // "KS_SCR"
extern const wchar_t kIntervalKey[];    // "Interval"
extern const wchar_t kModeKey[];        // "Mode"
extern const wchar_t kFilesSection[];   // "SCRFiles"
constexpr int kSlotCount = 32;

// "No" followed by the slot number in decimal.
std::wstring SlotKey(int slot);

// The program path with its extension replaced by ".ini": the last dot,
// backslash or colon decides; no dot there means no extension to drop.
std::wstring SettingsPathFor(const std::wstring& programPath);
// The same for the running program.
std::wstring SettingsPath();

} // namespace settings
