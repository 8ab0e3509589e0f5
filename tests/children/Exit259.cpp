// Exit259: a test child that ends at the first change of the pointer
// position, but with exit code 259, the value that reads as "still running".
// CHILD_MAX_MS (default 120000) ends it with code 0 if nothing moves. Log
// lines (start, one move, exit) and log file: see ChildCommon.h.
#include "ChildCommon.h"

namespace {

using namespace child;

const int kStillActiveCode = 259;  // STILL_ACTIVE

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kPollTimer) {
        POINT pt;
        if (PointerMoved(pt)) Finish(hwnd, kStillActiveCode);
        return 0;
    }
    return ChildProc(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunChild(instance, WndProc, RGB(96, 0, 96));
}
