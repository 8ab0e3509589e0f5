// WellBehaved: a test child that keeps the screen-saver contract. It ends
// (exit code 0) when the pointer moves more than 2 px from where it was at
// start, or on a key or mouse button. Log lines, log file and CHILD_MAX_MS:
// see ChildCommon.h.
#include "ChildCommon.h"

#include <cstdlib>

namespace {

using namespace child;

const int kMoveSlack = 2;

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_TIMER:
        if (wp == kPollTimer) {
            POINT pt;
            if (PointerMoved(pt) &&
                (std::abs(pt.x - g_start.x) > kMoveSlack || std::abs(pt.y - g_start.y) > kMoveSlack))
                Finish(hwnd, 0);
            return 0;
        }
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        Finish(hwnd, 0);
        return 0;
    }
    return ChildProc(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return RunChild(instance, WndProc, RGB(0, 96, 48));
}
