// Shared pieces of the fuzz targets: turning the fuzzer's bytes into text,
// reporting a broken rule, and a tiny operating system in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "os/Os.h"

namespace fuzz {

// The program sees the Windows wide text: UTF-16 code units, 0 to 0xFFFF.
// Each pair of input bytes is one code unit, low byte first; an odd last
// byte is dropped. Every unit is fair game: NULs, controls, unpaired
// surrogates.
inline std::wstring Utf16(const uint8_t* data, size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2)
        text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    return text;
}

// Printable form of a text for a failure report: ASCII as is, the rest as
// \uXXXX.
inline std::string Show(const std::wstring& text) {
    std::string out = "\"";
    for (wchar_t c : text) {
        if (c >= 32 && c < 127 && c != L'\\' && c != L'"') {
            out += static_cast<char>(c);
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out + "\"";
}

[[noreturn]] inline void Fail(const char* file, int line, const char* what,
                              const std::string& detail) {
    std::fprintf(stderr, "\n%s:%d: rule broken: %s\n  %s\n", file, line, what, detail.c_str());
    std::abort();
}

} // namespace fuzz

// CHECK(condition, detail): aborts with the condition and detail (a
// std::string) when the condition is false; libFuzzer then saves the input.
#define CHECK(cond, detail)                                                  \
    do {                                                                     \
        if (!(cond))                                                         \
            ::fuzz::Fail(__FILE__, __LINE__, #cond, (detail));               \
    } while (0)

namespace fuzz {

// An operating system with a command line, a module path and profile files
// held in memory. Anything else the code under test asks for is a fault
// here: the rules being fuzzed touch nothing else.
class MemoryOs : public os::Os {
  public:
    MemoryOs() { previous_ = os::SetSys(this); }
    ~MemoryOs() override { os::SetSys(previous_); }
    MemoryOs(const MemoryOs&) = delete;
    MemoryOs& operator=(const MemoryOs&) = delete;

    std::wstring commandLine;
    std::wstring modulePath;
    // (path, section, key) -> value.
    std::map<std::wstring, std::map<std::pair<std::wstring, std::wstring>, std::wstring>> files;
    int profileReads = 0;
    int profileWrites = 0;
    int flushes = 0;

    std::wstring ReadProfile(const std::wstring& section, const std::wstring& key,
                             const std::wstring& def, const std::wstring& path) override {
        ++profileReads;
        auto file = files.find(path);
        if (file == files.end())
            return def;
        auto value = file->second.find({section, key});
        if (value == file->second.end())
            return def;
        // GetPrivateProfileStringW into a 2048-unit buffer.
        return value->second.substr(0, 2047);
    }
    bool WriteProfile(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value, const std::wstring& path) override {
        ++profileWrites;
        files[path][{section, key}] = value;
        return true;
    }
    void FlushProfile(const std::wstring&) override { ++flushes; }
    std::wstring ModulePath() override { return modulePath; }
    std::wstring CommandLine() override { return commandLine; }

    uint32_t TickCount() override { Unexpected("TickCount"); }
    os::UtcTime SystemTimeUtc() override { Unexpected("SystemTimeUtc"); }
    bool CursorPos(os::Point&) override { Unexpected("CursorPos"); }
    bool MoveCursor(int32_t, int32_t) override { Unexpected("MoveCursor"); }
    bool StartProcess(const std::wstring&, std::wstring&, uint32_t, const os::StartupInfo&,
                      os::ProcessInfo&) override {
        Unexpected("StartProcess");
    }
    bool ExitCode(os::Handle, uint32_t&) override { Unexpected("ExitCode"); }
    uint32_t Wait(os::Handle, uint32_t) override { Unexpected("Wait"); }
    bool CloseHandle(os::Handle) override { Unexpected("CloseHandle"); }
    os::Handle FindTopWindow(const std::wstring&) override { Unexpected("FindTopWindow"); }
    bool WindowRect(os::Handle, os::Rect&) override { Unexpected("WindowRect"); }
    bool IsWindow(os::Handle) override { Unexpected("IsWindow"); }

  private:
    [[noreturn]] static void Unexpected(const char* what) {
        Fail(__FILE__, __LINE__, "no other system service is used", what);
    }
    os::Os* previous_ = nullptr;
};

} // namespace fuzz
