// IgnoresNudges: a test child that breaks the screen-saver contract by not
// ending when the pointer moves. It ends (exit code 0) on WM_CLOSE, when a
// file named stop.flag appears in its folder, or after CHILD_MAX_MS
// milliseconds (default 120000), so a test can always get rid of it. Log
// lines and log file: see ChildCommon.h.
#include "ChildCommon.h"

namespace {

using namespace child;

const UINT_PTR kStopFlagTimer = kOwnTimer;
const UINT kStopFlagPollMs = 100;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kStopFlagTimer) {
        if (GetFileAttributesW((g_folder + L"stop.flag").c_str()) != INVALID_FILE_ATTRIBUTES) Finish(hwnd, 0);
        return 0;
    }
    return ChildProc(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunChild(instance, WndProc, RGB(120, 0, 0), kStopFlagPollMs);
}
