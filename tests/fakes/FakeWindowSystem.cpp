#include "FakeWindowSystem.h"

FakeWindowSystem::FakeWindowSystem() : previous_(vcl::SetWs(this)) {}

FakeWindowSystem::~FakeWindowSystem() { vcl::SetWs(previous_); }

os::Handle FakeWindowSystem::CreateAppWindow(const std::wstring& title) {
    os::Handle h = next_++;
    windows[h].text = title;
    return h;
}

os::Handle FakeWindowSystem::CreateWindowFor(vcl::TControl& control,
                                            const vcl::TCreateParams& params) {
    os::Handle h = next_++;
    Window& w = windows[h];
    w.control = &control;
    w.params = params;
    w.text = params.Caption;
    w.visible = (params.Style & vcl::kWsVisible) != 0;
    w.x = params.X;
    w.y = params.Y;
    w.w = params.Width;
    w.h = params.Height;
    return h;
}

void FakeWindowSystem::DestroyWindow(os::Handle wnd) {
    auto it = windows.find(wnd);
    if (it == windows.end() || !it->second.alive)
        return;
    it->second.alive = false;
    it->second.visible = false;
    if (it->second.control)
        it->second.control->WmDestroyed();
}

void FakeWindowSystem::SetBounds(os::Handle wnd, int32_t x, int32_t y, int32_t w, int32_t h) {
    Window& win = windows[wnd];
    win.x = x;
    win.y = y;
    win.w = w;
    win.h = h;
}

void FakeWindowSystem::SetText(os::Handle wnd, const std::wstring& text) { windows[wnd].text = text; }

std::wstring FakeWindowSystem::Text(os::Handle wnd) { return windows[wnd].text; }

void FakeWindowSystem::ShowWindow(os::Handle wnd, int cmd) {
    shows.emplace_back(wnd, cmd);
    auto it = windows.find(wnd);
    if (it != windows.end())
        it->second.visible = cmd != vcl::kSwHide;
}

void FakeWindowSystem::SetScrollBar(os::Handle wnd, int32_t min, int32_t max, int32_t pos,
                                    int32_t page) {
    Window& w = windows[wnd];
    w.min = min;
    w.max = max;
    w.pos = pos;
    w.page = page;
}

void FakeWindowSystem::SetChecked(os::Handle wnd, bool checked) { windows[wnd].checked = checked; }

vcl::TSize FakeWindowSystem::ClientToWindow(uint32_t style, uint32_t, int32_t w, int32_t h) {
    if (style & vcl::kWsCaption)
        return {w + frameWidth, h + frameHeight};
    return {w, h};
}

uintptr_t FakeWindowSystem::StartTimer(vcl::TTimer& timer, uint32_t ms) {
    uintptr_t id = nextTimer_++;
    timers[id] = {&timer, ms};
    return id;
}

void FakeWindowSystem::StopTimer(uintptr_t id) { timers.erase(id); }

void FakeWindowSystem::FireTimers() {
    std::vector<vcl::TTimer*> due;
    for (auto& t : timers)
        due.push_back(t.second.timer);
    for (vcl::TTimer* t : due)
        vcl::Guarded([t] { t->Tick(); });
}

bool FakeWindowSystem::DispatchOne(bool& quit) {
    ++dispatchPasses;
    if (onDispatch)
        onDispatch();
    if (quitPosted) {
        quitPosted = false;
        quit = true;
        return true;
    }
    if (queue.empty())
        return false;
    auto msg = std::move(queue.front());
    queue.pop_front();
    vcl::Guarded(msg);
    return true;
}

void FakeWindowSystem::PostQuit() { quitPosted = true; }

void FakeWindowSystem::ShowError(os::Handle, const std::wstring& text, const std::wstring& caption) {
    errors.push_back(caption + L"|" + text);
}
