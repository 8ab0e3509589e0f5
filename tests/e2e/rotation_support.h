// Helpers for the rotation's end-to-end tests: the test children's shared
// log, ending every process that runs from a test folder, a host window of
// the test's own for the preview, and waits that keep this thread's
// messages flowing.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace e2e {

// One line of the test children's log:
//   start <name> pid=<pid> cmdline=[<command line>]
//   move <name> x=<x> y=<y>
//   exit <name> code=<code>
struct ChildEvent {
    enum Kind { Start, Move, Exit, Other } kind = Other;
    std::string name;
    DWORD pid = 0;
    std::string cmdline; // Start: what is between the brackets, UTF-8
    long x = 0, y = 0;   // Move
    long code = 0;       // Exit
    std::string line;    // the whole line, for messages
};

std::vector<ChildEvent> ReadChildLog(const std::wstring& path);
// The events of one kind, in log order.
std::vector<ChildEvent> EventsOf(const std::vector<ChildEvent>& events, ChildEvent::Kind kind);
// The names of the started children, in start order.
std::vector<std::string> StartedNames(const std::vector<ChildEvent>& events);
// The whole log, for failure messages.
std::string LogText(const std::wstring& path);

// Ends every process whose program file lies in folder or below it, and
// waits until they are gone. Returns how many it ended.
int KillProcessesUnder(const std::wstring& folder);

// Like WaitUntil, but dispatches this thread's messages while it waits: a
// window of this thread that another process makes its parent must answer
// the messages sent to it, or that process blocks.
bool PumpUntil(const std::function<bool()>& cond, DWORD ms);
// Dispatches this thread's messages for ms.
void PumpFor(DWORD ms);

// A plain top-level window of the test process, standing in for the host
// that gives a screen saver its preview window.
class HostWindow {
  public:
    HostWindow(int x, int y, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    // The handle as the command line's decimal number.
    std::wstring Number() const;
    void Destroy();

  private:
    HWND hwnd_ = nullptr;
};

// The pointer position now.
POINT CursorNow();
// Moves the pointer to pt and waits until it reads back there; false if it
// never does. Right after Wine starts, its desktop may not take the move
// yet.
bool PlacePointer(POINT pt);

// How many handles process (whose id is pid) holds open; false when the
// system can't say. Wine answers GetProcessHandleCount with 0, so the
// system-wide handle list stands in for it there.
bool HandleCount(HANDLE process, DWORD pid, DWORD& count);

// The settings text: [KS_SCR] with Interval and Mode, then the list in
// [SCRFiles] (no such section for an empty list).
std::string IniText(const std::string& interval, const std::string& mode,
                    const std::vector<std::string>& files);

bool SamePoint(POINT a, POINT b);
std::string ShowPoint(POINT p);

// The full, long form of a path, so that two spellings of it compare equal.
std::wstring Canonical(const std::wstring& path);
bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix);

} // namespace e2e
