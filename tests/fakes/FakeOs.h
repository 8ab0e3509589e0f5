// A scripted stand-in for the operating system, for host unit tests.
// Tests set the clock, the files and the processes, then read what the
// code under test asked for.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "os/Os.h"

class FakeOs : public os::Os {
  public:
    FakeOs();  // installs itself as os::Sys()
    ~FakeOs() override;

    // Clock. Each TickCount() call returns tick, then adds tickStep.
    uint32_t tick = 0;
    uint32_t tickStep = 0;
    os::UtcTime utc;

    // Pointer.
    os::Point cursor;
    bool cursorReadable = true;
    std::vector<os::Point> cursorMoves;

    // Processes. A started process runs (exit code 259) until EndProcess.
    struct Launch {
        std::wstring application;
        std::wstring commandLine;
        uint32_t flags;
        os::StartupInfo startup;
        os::Handle process;
    };
    std::vector<Launch> launches;
    // Decides whether a launch succeeds; default: every launch succeeds.
    std::function<bool(const std::wstring& application)> canStart;
    // Makes the exit-code read itself fail.
    bool exitCodeFails = false;
    int exitCodeReads = 0;
    // Called from Wait(handle, ms), e.g. to end the child during a nudge.
    std::function<void(os::Handle, uint32_t ms)> onWait;
    std::vector<std::pair<os::Handle, uint32_t>> waits;
    std::vector<os::Handle> closed;
    int badCloses = 0; // closes of handles that were not open
    void EndProcess(os::Handle process, uint32_t code);
    bool IsOpen(os::Handle h) const;
    size_t OpenHandles() const;
    os::Handle LastProcess() const { return launches.empty() ? 0 : launches.back().process; }

    // Windows of other programs.
    std::map<std::wstring, os::Handle> topWindows;   // title -> handle
    std::map<os::Handle, os::Rect> windowRects;

    // Profile files: path -> section -> key -> value.
    using Section = std::map<std::wstring, std::wstring>;
    std::map<std::wstring, std::map<std::wstring, Section>> files;
    // Keys ("section/key") whose writes Windows refuses; "*" refuses all.
    std::vector<std::wstring> refusedWrites;
    std::vector<std::wstring> writes; // "section/key=value", in order
    std::vector<std::wstring> reads;  // "section/key", in order
    std::vector<std::wstring> flushes;

    std::wstring modulePath = L"C:\\Savers\\KsScrExec.scr";
    std::wstring commandLine = L"KsScrExec.scr";

    uint32_t TickCount() override;
    os::UtcTime SystemTimeUtc() override { return utc; }
    bool CursorPos(os::Point& pt) override;
    bool MoveCursor(int32_t x, int32_t y) override;
    bool StartProcess(const std::wstring& application, std::wstring& commandLine,
                      uint32_t creationFlags, const os::StartupInfo& startup,
                      os::ProcessInfo& process) override;
    bool ExitCode(os::Handle process, uint32_t& code) override;
    uint32_t Wait(os::Handle object, uint32_t ms) override;
    bool CloseHandle(os::Handle h) override;
    os::Handle FindTopWindow(const std::wstring& title) override;
    bool WindowRect(os::Handle wnd, os::Rect& r) override;
    bool IsWindow(os::Handle wnd) override;
    std::wstring ReadProfile(const std::wstring& section, const std::wstring& key,
                             const std::wstring& def, const std::wstring& path) override;
    bool WriteProfile(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value, const std::wstring& path) override;
    void FlushProfile(const std::wstring& path) override;
    std::wstring ModulePath() override { return modulePath; }
    std::wstring CommandLine() override { return commandLine; }

  private:
    struct Proc {
        uint32_t exitCode = os::kStillActive;
        bool open = true;
    };
    std::map<os::Handle, Proc> procs_;
    os::Handle nextHandle_ = 1000;
    os::Os* previous_;
};
