// End-to-end harness: runs the real program as a separate process in a
// fresh folder and watches it from outside through Win32, the way a
// screen-saver host would. Nothing is mocked.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

constexpr DWORD kTimeoutMs = 10000;
// The title that marks a running instance.
extern const wchar_t kTitle[];

// UTF-16 <-> UTF-8, for messages and byte comparisons.
std::string Narrow(const std::wstring& w);
std::wstring Widen(const std::string& s);

// The build's output folder, holding KsScrExec.scr, the samples and the
// test children: environment KS_BIN_DIR, else the build's ROTATOR_BIN_DIR,
// else the folder of this test program. A Unix path is mapped onto Wine's
// Z: drive.
std::wstring BinDir();
// BinDir() + name.
std::wstring BinFile(const std::wstring& name);

bool FileExists(const std::wstring& path);
bool DirExists(const std::wstring& path);
// Writes the bytes as given (the INI files are ANSI text).
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The whole file; empty when it can't be read.
std::string ReadBytes(const std::wstring& path);
// Lines without their line ends ("\r\n" or "\n").
std::vector<std::string> SplitLines(const std::string& text);
// The value under section/key through the profile functions, or def.
std::wstring ProfileString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key, const std::wstring& def = L"<none>");

// A unique folder under the temp path; removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::wstring& Path() const { return path_; }
    // Path() + "\" + name.
    std::wstring File(const std::wstring& name) const;
    // Creates a sub folder (and its parents) and returns its path.
    std::wstring MakeDir(const std::wstring& name) const;
    // Copies src into the folder (as name, default src's own name); returns
    // the new path.
    std::wstring CopyIn(const std::wstring& src, const std::wstring& name = L"") const;

  private:
    std::wstring path_;
};

// Removes a file or a folder tree.
void RemoveTree(const std::wstring& path);

// One started process. A process still running when the object goes is
// terminated, so no test leaves a stray process behind.
class Process {
  public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Runs "\"<exe>\" <args>" (just the quoted path when args is empty).
    static Process Start(const std::wstring& exe, const std::wstring& args,
                         bool suspended = false);
    // Runs exe with commandLine exactly as given, for odd command lines.
    static Process StartRaw(const std::wstring& exe, const std::wstring& commandLine,
                            bool suspended = false);

    bool Started() const { return process_ != nullptr; }
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }
    void Resume();
    bool Running() const;
    // Waits for the exit; false on timeout. code gets the exit code.
    bool WaitExit(DWORD& code, DWORD ms = kTimeoutMs);
    // Ends it if it still runs and waits until it is gone.
    void Kill();

  private:
    void Reset();
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD pid_ = 0;
};

struct WindowInfo {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    RECT rect{};
    RECT client{};
    bool visible = false;
    HWND owner = nullptr;
};

WindowInfo Describe(HWND hwnd);
// The top-level windows that belong to pid, in Z order.
std::vector<WindowInfo> TopWindows(DWORD pid);
// The first top-level window of pid with this class (and visible, when
// asked) within ms; null on timeout.
HWND WaitForWindow(DWORD pid, const std::wstring& className, DWORD ms = kTimeoutMs,
                   bool mustBeVisible = true);
// The first top-level window of pid with this class now, or null.
HWND FindWindowOf(DWORD pid, const std::wstring& className);
// Every window below parent (children of children too) whose class is
// className (case-insensitive), in EnumChildWindows order.
std::vector<HWND> Children(HWND parent, const std::wstring& className);
// Polls cond every 20 ms until it holds or ms have passed.
bool WaitUntil(const std::function<bool()>& cond, DWORD ms = kTimeoutMs);
// WM_GETTEXT through the window's own procedure (works across processes).
std::wstring TextOf(HWND hwnd);
// Sends a message with a timeout, so a hung program fails the test instead
// of hanging it; returns the result (0 on timeout).
LRESULT Send(HWND hwnd, UINT msg, WPARAM wp = 0, LPARAM lp = 0);

// Real mouse input at screen point x, y: a move, plus the button flags
// given (MOUSEEVENTF_LEFTDOWN, ...). Goes to whatever window is there.
void SendMouse(int x, int y, DWORD buttonFlags = 0);
// A real press and release of the key vk, to whichever window has the focus.
void PressKey(WORD vk);

// Collects the windows that a process creates or shows, through an
// out-of-context WinEvent hook on that process only. Start the process
// suspended, watch it, then resume it.
class WindowWatcher {
  public:
    explicit WindowWatcher(DWORD pid);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;

    bool Active() const { return hook_ != nullptr; }
    // Pumps this thread's messages (which deliver the events) for ms, or
    // until process ends (plus a short grace for late events), or until
    // done() holds.
    void Pump(DWORD ms, HANDLE process = nullptr, const std::function<bool()>& done = {});
    // Windows created; and those shown.
    const std::vector<HWND>& Created() const { return created_; }
    const std::vector<HWND>& Shown() const { return shown_; }

  private:
    static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject,
                                 LONG idChild, DWORD, DWORD);
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<HWND> created_;
    std::vector<HWND> shown_;
};

} // namespace e2e
