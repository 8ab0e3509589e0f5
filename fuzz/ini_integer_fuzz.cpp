// Integer settings as the program reads them: TIniFile::ReadInteger over a
// profile held in memory, against the reference integer reader, and the
// written form read back through the same file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "IntegerReference.h"
#include "settings/settings.h"
#include "vcl/IniFiles.h"

// Input: four bytes of default value (low byte first), one byte of flags,
// then the value text as UTF-16. Flags: bit 0 the file exists, bit 1 the
// key stands in it, bit 2 "Mode" instead of "Interval".
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    const int32_t def = static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                             static_cast<uint32_t>(data[3]) << 24);
    const uint8_t flags = data[4];
    const bool fileExists = flags & 1;
    const bool keyPresent = fileExists && (flags & 2);
    const std::wstring key = flags & 4 ? settings::kModeKey : settings::kIntervalKey;
    const std::wstring text = fuzz::Utf16(data + 5, size - 5);

    fuzz::MemoryOs os;
    const std::wstring path = settings::SettingsPathFor(L"C:\\Savers\\KsScrExec.scr");
    const std::wstring slot = L"rotate.scr";
    if (fileExists) {
        auto& file = os.files[path];
        file[{settings::kFilesSection, settings::SlotKey(0)}] = slot;
        if (keyPresent)
            file[{settings::kSaverSection, key}] = text;
    }

    // What the reader sees is what the profile functions hand back: the
    // value cut to the 2047 units their buffer holds.
    const fuzz::Parsed want =
        keyPresent ? fuzz::ReadInteger(text.substr(0, 2047)) : fuzz::Parsed{};
    const int32_t expected = want.ok ? want.value : def;
    {
        vcl::TIniFile ini(path);
        const int32_t got = ini.ReadInteger(settings::kSaverSection, key, def);
        CHECK(got == expected, fuzz::Show(text.substr(0, 200)) + (keyPresent ? "" : " (absent)") +
                                   " read as " + std::to_string(got) + ", expected " +
                                   std::to_string(expected) + " (default " +
                                   std::to_string(def) + ")");
        CHECK(os.profileReads == 1 && os.profileWrites == 0,
              "a read asks the profile once and writes nothing");
    }
    CHECK(os.flushes == 1, "a freed TIniFile flushes its file once");

    // Whatever was read, written back it stands in the written form, reads
    // back as itself and leaves the list of screen savers alone.
    {
        vcl::TIniFile ini(path);
        ini.WriteInteger(settings::kSaverSection, key, expected);
        const std::wstring stored = os.files[path][{settings::kSaverSection, key}];
        CHECK(fuzz::IsWrittenForm(stored) && stored == vcl::IntToStr(expected),
              "written as " + fuzz::Show(stored));
        const int32_t otherDefault = expected == 1 ? 2 : 1;
        CHECK(ini.ReadInteger(settings::kSaverSection, key, otherDefault) == expected,
              std::to_string(expected) + " does not read back");
        CHECK(ini.ReadString(settings::kFilesSection, settings::SlotKey(0), L"") ==
                  (fileExists ? slot : L""),
              "writing an integer changed the list");
    }
    return 0;
}
