// The window services under the form classes. The product uses Win32
// (win32/Win32WindowSystem.cpp); host tests install a recording fake.
#pragma once

#include <cstdint>
#include <string>

#include "os/Os.h"
#include "vcl/Forms.h"

namespace vcl {

struct TSize {
    int32_t cx = 0;
    int32_t cy = 0;
};

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // The application's hidden top-level window (class "TApplication").
    virtual os::Handle CreateAppWindow(const std::wstring& title) = 0;
    // A window for control, from params: bounds are outer and relative to
    // the parent for a child. The window system adds the control kind's own
    // class styles, the font and the colours, and routes the window's
    // events to control's Wm* methods (through Guarded).
    virtual os::Handle CreateWindowFor(TControl& control, const TCreateParams& params) = 0;
    virtual void DestroyWindow(os::Handle wnd) = 0;

    virtual void SetBounds(os::Handle wnd, int32_t x, int32_t y, int32_t w, int32_t h) = 0;
    virtual void SetText(os::Handle wnd, const std::wstring& text) = 0;
    virtual std::wstring Text(os::Handle wnd) = 0;
    // ShowWindow on any window, ours or not.
    virtual void ShowWindow(os::Handle wnd, int cmd) = 0;
    virtual void Invalidate(os::Handle wnd) = 0;
    virtual void SetScrollBar(os::Handle wnd, int32_t min, int32_t max, int32_t pos,
                              int32_t page) = 0;
    virtual void SetChecked(os::Handle wnd, bool checked) = 0;
    virtual void SetFocus(os::Handle wnd) = 0;
    // Outer size of a window with this style whose client area is w x h.
    virtual TSize ClientToWindow(uint32_t style, uint32_t exStyle, int32_t w, int32_t h) = 0;

    // A timer that calls timer.Tick() every ms; returns its id.
    virtual uintptr_t StartTimer(TTimer& timer, uint32_t ms) = 0;
    virtual void StopTimer(uintptr_t id) = 0;

    // Takes one waiting message and dispatches it; false when none waited.
    // A quit message is not dispatched: it sets quit.
    virtual bool DispatchOne(bool& quit) = 0;
    // Blocks until a message arrives.
    virtual void WaitForMessage() = 0;
    // Takes the next message, waiting for one when none waits, and
    // dispatches it as DispatchOne does. A window system whose wait can
    // take the message as well overrides it.
    virtual bool WaitDispatchOne(bool& quit) {
        if (DispatchOne(quit))
            return true;
        WaitForMessage();
        return DispatchOne(quit);
    }
    virtual void PostQuit() = 0;

    virtual int32_t ScreenWidth() = 0;
    virtual int32_t ScreenHeight() = 0;
    virtual int32_t PixelsPerInch() = 0;

    // Message box with the stop icon and an OK button.
    virtual void ShowError(os::Handle owner, const std::wstring& text,
                           const std::wstring& caption) = 0;
};

WindowSystem& Ws();
// Installs ws (nullptr restores the default); returns the previous one.
WindowSystem* SetWs(WindowSystem* ws);

} // namespace vcl
