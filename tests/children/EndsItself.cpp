// EndsItself: a test child that ends on its own, as if the user had stopped
// it, after CHILD_LIFETIME_MS milliseconds (default 300), with exit code 0.
// It ignores the pointer apart from logging it. Log lines, log file and
// CHILD_MAX_MS: see ChildCommon.h.
#include "ChildCommon.h"

namespace {

using namespace child;

const UINT_PTR kLifeTimer = kOwnTimer;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kLifeTimer) {
        Finish(hwnd, 0);
        return 0;
    }
    return ChildProc(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunChild(instance, WndProc, RGB(96, 48, 0), EnvMs(L"CHILD_LIFETIME_MS", 300));
}
