// Crashes: a test child that dies 200 ms after start by writing through a
// null pointer: a real access violation, no exit line; the process ends with
// the fault's code (0xC0000005). No crash dialog or debugger waits for a user.
// Log lines: start and move (see ChildCommon.h), then
//   crash <name>                 (just before the fault)
#include "ChildCommon.h"

namespace {

using namespace child;

const UINT_PTR kCrashTimer = kOwnTimer;
const UINT kCrashAfterMs = 200;
bool g_crashNow = false;

// Outside any window procedure: Windows may swallow a fault raised while it
// dispatches a timer message, and this one must end the process.
void CrashIfDue() {
    if (!g_crashNow) return;
    Log(L"crash %ls", g_name.c_str());
    // Both volatile: the compiler may neither assume the pointer is null nor drop the store.
    volatile int* volatile target = nullptr;
    *target = 1;
}

// Wine starts its debugger for an unhandled fault whatever the error mode says;
// ending the process from the top-level filter is what the error mode asks of Windows.
LONG WINAPI EndOnFault(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kCrashTimer) {
        g_crashNow = true;
        return 0;
    }
    return ChildProc(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
    SetUnhandledExceptionFilter(EndOnFault);
    return RunChild(instance, WndProc, RGB(64, 64, 64), kCrashAfterMs, CrashIfDue);
}
