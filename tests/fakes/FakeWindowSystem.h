// A recording stand-in for the window system, for host unit tests: windows
// are records, messages are queued callbacks, timers fire on request.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vcl/WindowSystem.h"

class FakeWindowSystem : public vcl::WindowSystem {
  public:
    FakeWindowSystem(); // installs itself as vcl::Ws()
    ~FakeWindowSystem() override;

    struct Window {
        vcl::TControl* control = nullptr; // null for the application window
        vcl::TCreateParams params;
        std::wstring text;
        bool visible = false;
        bool alive = true;
        int32_t x = 0, y = 0, w = 0, h = 0;
        bool checked = false;
        int32_t min = 0, max = 0, pos = 0, page = 0;
    };
    std::map<os::Handle, Window> windows;
    std::vector<std::pair<os::Handle, int>> shows; // ShowWindow calls, in order
    std::vector<std::wstring> errors;              // "caption|text" of error boxes
    os::Handle focused = 0;

    struct Timer {
        vcl::TTimer* timer;
        uint32_t ms;
    };
    std::map<uintptr_t, Timer> timers;
    // Ticks every running timer once (in id order).
    void FireTimers();

    // Messages: each is run by DispatchOne.
    std::deque<std::function<void()>> queue;
    bool quitPosted = false;
    int dispatchPasses = 0; // DispatchOne calls
    // Called on every DispatchOne, before the queue is looked at.
    std::function<void()> onDispatch;

    int32_t screenWidth = 1024, screenHeight = 768, pixelsPerInch = 96;
    // What a caption and border add to a window's client size.
    int32_t frameWidth = 0, frameHeight = 0;

    os::Handle CreateAppWindow(const std::wstring& title) override;
    os::Handle CreateWindowFor(vcl::TControl& control, const vcl::TCreateParams& params) override;
    void DestroyWindow(os::Handle wnd) override;
    void SetBounds(os::Handle wnd, int32_t x, int32_t y, int32_t w, int32_t h) override;
    void SetText(os::Handle wnd, const std::wstring& text) override;
    std::wstring Text(os::Handle wnd) override;
    void ShowWindow(os::Handle wnd, int cmd) override;
    void Invalidate(os::Handle) override {}
    void SetScrollBar(os::Handle wnd, int32_t min, int32_t max, int32_t pos, int32_t page) override;
    void SetChecked(os::Handle wnd, bool checked) override;
    void SetFocus(os::Handle wnd) override { focused = wnd; }
    vcl::TSize ClientToWindow(uint32_t style, uint32_t exStyle, int32_t w, int32_t h) override;
    uintptr_t StartTimer(vcl::TTimer& timer, uint32_t ms) override;
    void StopTimer(uintptr_t id) override;
    bool DispatchOne(bool& quit) override;
    void WaitForMessage() override {}
    void PostQuit() override;
    int32_t ScreenWidth() override { return screenWidth; }
    int32_t ScreenHeight() override { return screenHeight; }
    int32_t PixelsPerInch() override { return pixelsPerInch; }
    void ShowError(os::Handle owner, const std::wstring& text, const std::wstring& caption) override;

  private:
    os::Handle next_ = 0x100;
    uintptr_t nextTimer_ = 1;
    vcl::WindowSystem* previous_;
};
