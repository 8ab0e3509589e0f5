// The operating-system services that the program's logic uses, behind one
// narrow interface: the real one talks to Windows (WinOs.cpp), host unit
// tests install a scripted fake. Windows.h is deliberately kept out of here
// so that the logic compiles and runs on the build host.
#pragma once

#include <cstdint>
#include <string>

namespace os {

// HANDLE and HWND, as integers.
using Handle = std::uintptr_t;

struct Point {
    int32_t x = 0;
    int32_t y = 0;
};

struct Rect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

struct UtcTime {
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
};

// The fields of STARTUPINFOW that the program sets; every other field is 0.
struct StartupInfo {
    uint32_t cb = 0;
    uint32_t dwFlags = 0;
    uint16_t wShowWindow = 0;
};

// PROCESS_INFORMATION.
struct ProcessInfo {
    Handle hProcess = 0;
    Handle hThread = 0;
    uint32_t dwProcessId = 0;
    uint32_t dwThreadId = 0;
};

constexpr uint32_t kStillActive = 259;          // STILL_ACTIVE
constexpr uint32_t kNormalPriorityClass = 0x20; // NORMAL_PRIORITY_CLASS
constexpr uint32_t kStartfUseShowWindow = 1;    // STARTF_USESHOWWINDOW
constexpr uint16_t kSwShowNormal = 1;           // SW_SHOWNORMAL

class Os {
  public:
    virtual ~Os() = default;

    // GetTickCount: ms since system start, wraps at 2^32.
    virtual uint32_t TickCount() = 0;
    // GetSystemTime, the UTC time of day.
    virtual UtcTime SystemTimeUtc() = 0;

    virtual bool CursorPos(Point& pt) = 0;
    virtual bool MoveCursor(int32_t x, int32_t y) = 0;

    // CreateProcessW(application, commandLine (writable), no security
    // attributes, no inheritance, flags, no environment, no directory,
    // startup, process).
    virtual bool StartProcess(const std::wstring& application, std::wstring& commandLine,
                              uint32_t creationFlags, const StartupInfo& startup,
                              ProcessInfo& process) = 0;
    virtual bool ExitCode(Handle process, uint32_t& code) = 0;
    virtual uint32_t Wait(Handle object, uint32_t ms) = 0;
    virtual bool CloseHandle(Handle h) = 0;

    // FindWindowW(nullptr, title).
    virtual Handle FindTopWindow(const std::wstring& title) = 0;
    virtual bool WindowRect(Handle wnd, Rect& r) = 0;
    virtual bool IsWindow(Handle wnd) = 0;

    // GetPrivateProfileStringW with a 2048-character buffer.
    virtual std::wstring ReadProfile(const std::wstring& section, const std::wstring& key,
                                     const std::wstring& def, const std::wstring& path) = 0;
    // WritePrivateProfileStringW; false when Windows refuses the write.
    virtual bool WriteProfile(const std::wstring& section, const std::wstring& key,
                              const std::wstring& value, const std::wstring& path) = 0;
    // WritePrivateProfileStringW(nullptr, nullptr, nullptr, path): puts the
    // cached writes for the file on disk.
    virtual void FlushProfile(const std::wstring& path) = 0;

    // GetModuleFileNameW of the program's own module.
    virtual std::wstring ModulePath() = 0;
    // GetCommandLineW.
    virtual std::wstring CommandLine() = 0;
};

// The process-wide instance. On Windows it is the real one unless a test
// has installed another; on the host a test must install one first.
Os& Sys();
// Installs os (nullptr restores the default); returns the previous one.
Os* SetSys(Os* os);

} // namespace os
