// The operating-system services over the Win32 W functions.
#include <windows.h>

#include <vector>

#include "os/Os.h"

namespace os {

namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
HWND W(Handle h) { return reinterpret_cast<HWND>(h); }

class WinOs : public Os {
  public:
    uint32_t TickCount() override { return GetTickCount(); }

    UtcTime SystemTimeUtc() override {
        SYSTEMTIME st;
        GetSystemTime(&st);
        return {st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    }

    bool CursorPos(Point& pt) override {
        POINT p;
        if (!GetCursorPos(&p))
            return false;
        pt.x = p.x;
        pt.y = p.y;
        return true;
    }

    bool MoveCursor(int32_t x, int32_t y) override { return SetCursorPos(x, y) != FALSE; }

    bool StartProcess(const std::wstring& application, std::wstring& commandLine,
                      uint32_t creationFlags, const StartupInfo& startup,
                      ProcessInfo& process) override {
        // A program name takes at most MAX_PATH - 1 characters here, as in
        // the ANSI call; longer ones fail as a missing file does. (Wine's
        // CreateProcessW crashes on names over about 1000 characters.)
        if (application.size() >= MAX_PATH) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return false;
        }
        // CreateProcessW may write into the command line.
        std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
        line.push_back(L'\0');
        STARTUPINFOW si = {};
        si.cb = sizeof(STARTUPINFOW);
        si.dwFlags = startup.dwFlags;
        si.wShowWindow = startup.wShowWindow;
        PROCESS_INFORMATION pi = {};
        BOOL ok = CreateProcessW(application.c_str(), line.data(),
                                 nullptr, nullptr, FALSE, creationFlags, nullptr, nullptr, &si,
                                 &pi);
        commandLine.assign(line.data());
        process.hProcess = reinterpret_cast<Handle>(pi.hProcess);
        process.hThread = reinterpret_cast<Handle>(pi.hThread);
        process.dwProcessId = pi.dwProcessId;
        process.dwThreadId = pi.dwThreadId;
        return ok != FALSE;
    }

    bool ExitCode(Handle process, uint32_t& code) override {
        DWORD c = 0;
        if (!GetExitCodeProcess(H(process), &c))
            return false;
        code = c;
        return true;
    }

    uint32_t Wait(Handle object, uint32_t ms) override {
        return WaitForSingleObject(H(object), ms);
    }

    bool CloseHandle(Handle h) override { return ::CloseHandle(H(h)) != FALSE; }

    Handle FindTopWindow(const std::wstring& title) override {
        return reinterpret_cast<Handle>(FindWindowW(nullptr, title.c_str()));
    }

    bool WindowRect(Handle wnd, Rect& r) override {
        RECT rc;
        if (!GetWindowRect(W(wnd), &rc))
            return false;
        r.left = rc.left;
        r.top = rc.top;
        r.right = rc.right;
        r.bottom = rc.bottom;
        return true;
    }

    bool IsWindow(Handle wnd) override { return ::IsWindow(W(wnd)) != FALSE; }

    std::wstring ReadProfile(const std::wstring& section, const std::wstring& key,
                             const std::wstring& def, const std::wstring& path) override {
        wchar_t buffer[2048];
        DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer,
                                           2048, path.c_str());
        return std::wstring(buffer, n);
    }

    bool WriteProfile(const std::wstring& section, const std::wstring& key,
                      const std::wstring& value, const std::wstring& path) override {
        return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(),
                                          path.c_str()) != FALSE;
    }

    void FlushProfile(const std::wstring& path) override {
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, path.c_str());
    }

    std::wstring ModulePath() override {
        std::vector<wchar_t> buffer(MAX_PATH);
        for (;;) {
            DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (n == 0)
                return std::wstring();
            if (n < buffer.size())
                return std::wstring(buffer.data(), n);
            buffer.resize(buffer.size() * 2); // cut off: try a larger buffer
        }
    }

    std::wstring CommandLine() override { return GetCommandLineW(); }
};

} // namespace

Os& WindowsOs() {
    static WinOs instance;
    return instance;
}

} // namespace os
