// The settings path: the program path with its file name's extension
// replaced by ".ini". In UTF-16 a dot, backslash or colon is always a whole
// character (no trail unit takes their values), so every unit counts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "settings/settings.h"

namespace {

// Walks back from the end to the first dot, backslash or colon.
std::wstring Reference(const std::wstring& program) {
    for (size_t i = program.size(); i-- > 0;) {
        const wchar_t c = program[i];
        if (c == L'.')
            return program.substr(0, i) + L".ini";
        if (c == L'\\' || c == L':')
            break;
    }
    return program + L".ini";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::wstring program = fuzz::Utf16(data, size);
    const std::wstring ini = settings::SettingsPathFor(program);
    const std::string context = fuzz::Show(program) + " -> " + fuzz::Show(ini);

    CHECK(ini == Reference(program), context);
    CHECK(ini.size() >= 4 && ini.compare(ini.size() - 4, 4, L".ini") == 0,
          context + ": no \".ini\" at the end");
    const std::wstring stem = ini.substr(0, ini.size() - 4);
    CHECK(program.compare(0, stem.size(), stem) == 0, context + ": not a prefix of the program");
    // Only the file name's extension goes: what is dropped is empty or a dot
    // and what followed it in the file name.
    const std::wstring dropped = program.substr(stem.size());
    CHECK(dropped.empty() || (dropped[0] == L'.' &&
                              dropped.find_first_of(L"\\:") == std::wstring::npos),
          context + ": dropped " + fuzz::Show(dropped));
    // A file name without a dot keeps all of it.
    const size_t lastSeparator = program.find_last_of(L"\\:");
    const size_t nameStart = lastSeparator == std::wstring::npos ? 0 : lastSeparator + 1;
    if (program.find(L'.', nameStart) == std::wstring::npos)
        CHECK(ini == program + L".ini", context + ": name without extension cut");
    else
        CHECK(!dropped.empty(), context + ": extension kept");
    // Already a settings path: it maps to itself.
    CHECK(settings::SettingsPathFor(ini) == ini, context + ": not a fixed point");

    fuzz::MemoryOs os;
    os.modulePath = program;
    CHECK(settings::SettingsPath() == ini, context + ": SettingsPath differs");
    return 0;
}
