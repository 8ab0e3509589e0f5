#include "vcl/Forms.h"

#include <algorithm>
#include <cstdlib>
#include <exception>

#include "vcl/WindowSystem.h"

namespace vcl {

namespace {

// Forms whose OnClose is running; a released form is not freed meanwhile,
// since a nested dispatch pass (a wait inside OnClose) may be under it.
int closeDepth = 0;

int32_t ScaleValue(int32_t v, int num, int den) {
    if (den == 0)
        return v;
    int64_t p = static_cast<int64_t>(v) * num;
    int64_t half = den / 2;
    return static_cast<int32_t>((p >= 0 ? p + half : p - half) / den);
}

int32_t Clamp(int64_t v, int32_t lo, int32_t hi) {
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return static_cast<int32_t>(v);
}

bool IsDefaultFont(const TFont& f) {
    const TFont d;
    return f.Name == d.Name && f.Height == d.Height && f.Charset == d.Charset &&
           f.Color == d.Color;
}

// Controls whose font was left alone take their parent's, top down.
void InheritFonts(TControl& control) {
    for (TControl* c : control.Controls()) {
        if (IsDefaultFont(c->Font))
            c->Font = control.Font;
        InheritFonts(*c);
    }
}

// The place of a control in the tab order: a group's radio buttons stand
// where their group stands; -1 for controls outside the tab order.
int TabKey(const TControl* c) {
    if (c->Kind() == ControlKind::RadioButton)
        if (auto* group = dynamic_cast<const TRadioGroup*>(c->Owner()))
            return group->TabOrder;
    return c->TabOrder;
}

TApplication* AppOf(const TComponent* c) {
    if (auto* app = dynamic_cast<TApplication*>(c->Owner()))
        return app;
    return Application;
}

std::wstring Widen(const char* text) {
    std::wstring w;
    for (const char* p = text; p && *p; ++p)
        w += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return w;
}

} // namespace

// ---------------------------------------------------------------- TComponent

TComponent::TComponent(TComponent* owner) : owner_(owner) {
    if (owner_)
        owner_->components_.push_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_) {
        auto& list = owner_->components_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TComponent::DestroyComponents() {
    // Each component takes itself off the list as it goes.
    while (!components_.empty())
        delete components_.back();
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* owner, ControlKind kind) : TComponent(owner), kind_(kind) {
    if (kind_ == ControlKind::Form) {
        visible_ = false; // a form shows when asked to
    } else if (auto* p = dynamic_cast<TControl*>(owner)) {
        parent_ = p;
        p->controls_.push_back(this);
    }
}

TControl::~TControl() {
    MarkDestroying();
    DestroyHandle();
    for (TControl* c : controls_)
        c->parent_ = nullptr;
    controls_.clear();
    if (parent_) {
        auto& list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TControl::SetParent(TControl* parent) {
    if (parent == parent_ || parent == this)
        return;
    DestroyHandle();
    if (parent_) {
        auto& list = parent_->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    parent_ = parent;
    if (parent_) {
        parent_->controls_.push_back(this);
        if (parent_->HandleAllocated())
            HandleNeeded();
    }
}

TForm* TControl::ParentForm() {
    TControl* c = this;
    while (c && c->kind_ != ControlKind::Form)
        c = c->parent_;
    return static_cast<TForm*>(c);
}

void TControl::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) {
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    if (handle_)
        Ws().SetBounds(handle_, left_, top_, width_, height_);
    BoundsChanged();
}

std::wstring TControl::Caption() const {
    // The user types into an edit box; everything else only shows our text.
    if (kind_ == ControlKind::Edit && handle_)
        return Ws().Text(handle_);
    return caption_;
}

void TControl::SetCaption(const std::wstring& text) {
    caption_ = text;
    if (handle_)
        Ws().SetText(handle_, caption_);
}

void TControl::SetVisible(bool visible) {
    if (kind_ == ControlKind::Form) {
        auto* form = static_cast<TForm*>(this);
        if (!form->created_)
            visible_ = visible; // the design: CreateForm shows it after OnCreate
        else if (visible)
            form->Show();
        else
            form->Hide();
        return;
    }
    visible_ = visible;
    if (handle_)
        Ws().ShowWindow(handle_, visible_ ? kSwShow : kSwHide);
}

void TControl::SetColor(TColor color) {
    color_ = color;
    if (handle_)
        Ws().Invalidate(handle_);
}

void TControl::CreateParams(TCreateParams& params) {
    params.Caption = caption_;
    params.Style = kWsChild | (visible_ ? kWsVisible : 0);
    if (TabOrder >= 0) {
        // WS_GROUP ends the arrow-key group of the radio buttons before.
        params.Style |= kWsGroup;
        if (kind_ != ControlKind::GroupBox && kind_ != ControlKind::Label)
            params.Style |= kWsTabStop;
    }
    params.ExStyle = 0;
    params.X = left_;
    params.Y = top_;
    params.Width = width_;
    params.Height = height_;
    params.WndParent = parent_ ? parent_->handle_ : 0;
}

void TControl::HandleNeeded() {
    if (handle_)
        return;
    if (parent_) {
        parent_->HandleNeeded(); // which creates ours too
        if (handle_)
            return;
    }
    if (parent_ && IsDefaultFont(Font))
        Font = parent_->Font;
    TCreateParams params;
    CreateParams(params);
    os::Handle h = Ws().CreateWindowFor(*this, params);
    if (!h)
        throw Exception(L"ウィンドウを作成できません");
    handle_ = h;
    InitWindow();
    // Windows puts each new child below the ones before it, and that
    // order is the order of the Tab key: children come in creation order,
    // except that the places of the tab stops go to them by TabOrder.
    std::vector<TControl*> children = controls_;
    std::vector<TControl*> stops;
    for (TControl* c : children)
        if (TabKey(c) >= 0)
            stops.push_back(c);
    std::stable_sort(stops.begin(), stops.end(),
                     [](const TControl* a, const TControl* b) { return TabKey(a) < TabKey(b); });
    auto next = stops.begin();
    for (TControl*& c : children)
        if (TabKey(c) >= 0)
            c = *next++;
    for (TControl* c : children)
        if (c->parent_ == this)
            c->HandleNeeded();
}

void TControl::DestroyHandle() {
    if (!handle_)
        return;
    bool was = destroying_;
    destroying_ = true;
    os::Handle h = handle_;
    Ws().DestroyWindow(h);
    if (handle_ == h)
        WmDestroyed(); // not reported back: forget it all the same
    destroying_ = was;
}

void TControl::WmDestroyed() {
    handle_ = 0;
    // Child windows go with their parent.
    for (TControl* c : controls_)
        if (c->handle_)
            c->WmDestroyed();
}

void TControl::ScaleBy(int num, int den) {
    SetBounds(ScaleValue(left_, num, den), ScaleValue(top_, num, den),
              ScaleValue(width_, num, den), ScaleValue(height_, num, den));
    Font.Height = ScaleValue(Font.Height, num, den);
    std::vector<TControl*> children = controls_;
    for (TControl* c : children)
        c->ScaleBy(num, den);
}

// ---------------------------------------------------------------- controls

void TButton::WmClick() {
    if (OnClick)
        OnClick(this);
}

TScrollBar::TScrollBar(TComponent* owner) : TControl(owner, ControlKind::ScrollBar) {}

void TScrollBar::SetParams(int32_t position, int32_t min, int32_t max) {
    min_ = min;
    max_ = std::max(min, max);
    int32_t p = Clamp(position, min_, max_);
    bool changed = p != position_;
    position_ = p;
    Sync();
    if (changed && OnChange)
        OnChange(this);
}

void TScrollBar::SetPosition(int32_t position) {
    int32_t p = Clamp(position, min_, max_);
    if (p == position_)
        return;
    position_ = p;
    Sync();
    if (OnChange)
        OnChange(this);
}

void TScrollBar::WmScroll(int code, int32_t trackPos) {
    int64_t p = position_;
    switch (code) {
    case scLineUp: p -= SmallChange; break;
    case scLineDown: p += SmallChange; break;
    case scPageUp: p -= LargeChange; break;
    case scPageDown: p += LargeChange; break;
    case scPosition:
    case scTrack: p = trackPos; break;
    case scTop: p = min_; break;
    case scBottom: p = max_; break;
    default: return; // scEndScroll and unknown codes
    }
    SetPosition(Clamp(p, min_, max_));
}

void TScrollBar::InitWindow() { Sync(); }

void TScrollBar::Sync() {
    if (HandleAllocated())
        Ws().SetScrollBar(Handle(), min_, max_, position_, PageSize);
}

void TRadioButton::SetChecked(bool checked) {
    checked_ = checked;
    if (HandleAllocated())
        Ws().SetChecked(Handle(), checked_);
}

void TRadioButton::WmClick() {
    if (auto* group = dynamic_cast<TRadioGroup*>(Owner())) {
        for (int32_t i = 0; i < group->ItemCount(); ++i)
            if (group->Button(i) == this)
                group->SetItemIndex(i);
    } else {
        SetChecked(true);
    }
    if (OnClick)
        OnClick();
}

void TRadioButton::ScaleBy(int num, int den) {
    if (!dynamic_cast<TRadioGroup*>(Owner()))
        TControl::ScaleBy(num, den);
}

void TRadioButton::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    // The first button of a group starts the arrow-key group and is where
    // the Tab key enters it.
    auto* group = dynamic_cast<TRadioGroup*>(Owner());
    if (group && group->ItemCount() > 0 && group->Button(0) == this)
        params.Style |= kWsGroup | kWsTabStop;
}

void TRadioButton::InitWindow() { Ws().SetChecked(Handle(), checked_); }

void TRadioGroup::SetItems(const std::vector<std::wstring>& items) {
    std::vector<TRadioButton*> old;
    old.swap(buttons_);
    for (TRadioButton* b : old)
        delete b;
    for (const std::wstring& item : items) {
        auto* b = new TRadioButton(this);
        b->SetCaption(item);
        buttons_.push_back(b);
    }
    Arrange();
    SetItemIndex(itemIndex_);
}

void TRadioGroup::SetItemIndex(int32_t index) {
    itemIndex_ = Clamp(index, -1, ItemCount() - 1);
    for (int32_t i = 0; i < ItemCount(); ++i)
        buttons_[i]->SetChecked(i == itemIndex_);
}

void TRadioGroup::ScaleBy(int num, int den) {
    TControl::ScaleBy(num, den);
    Arrange(); // again, now with the scaled font
}

void TRadioGroup::InitWindow() { Arrange(); }

void TRadioGroup::BoundsChanged() { Arrange(); }

// One column inside the box, below its caption. The buttons are children
// of the group's parent: a Win32 group box passes no notifications on.
void TRadioGroup::Arrange() {
    const int32_t n = ItemCount();
    if (n == 0)
        return;
    int32_t text = std::abs(Font.Height);
    if (text == 0)
        text = 12;
    const int32_t top = Top() + text + 4;
    const int32_t bottom = Top() + Height() - 4;
    const int32_t row = std::max<int32_t>(1, (bottom - top) / n);
    const int32_t height = std::min(row, text + 6);
    for (int32_t i = 0; i < n; ++i) {
        TRadioButton* b = buttons_[i];
        b->Font = Font;
        if (Parent() && b->Parent() != Parent())
            b->SetParent(Parent());
        b->SetBounds(Left() + 8, top + i * row + (row - height) / 2, std::max(0, Width() - 16),
                     height);
    }
}

// ---------------------------------------------------------------- TTimer

TTimer::~TTimer() {
    if (id_)
        Ws().StopTimer(id_);
}

// A setter that changes nothing leaves a running timer's rhythm alone.
void TTimer::SetInterval(uint32_t ms) {
    if (ms == interval_ && (id_ != 0) == (enabled_ && ms > 0))
        return;
    interval_ = ms;
    Update();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_ && (id_ != 0) == (enabled && interval_ > 0))
        return;
    enabled_ = enabled;
    Update();
}

void TTimer::Tick() {
    if (enabled_ && OnTimer)
        OnTimer(this);
}

void TTimer::Update() {
    if (id_) {
        Ws().StopTimer(id_);
        id_ = 0;
    }
    if (enabled_ && interval_ > 0)
        id_ = Ws().StartTimer(*this, interval_);
}

// ---------------------------------------------------------------- TForm

TForm::TForm(TComponent* owner) : TControl(owner, ControlKind::Form) {}

TForm::~TForm() {
    MarkDestroying();
    // Here, not in ~TControl, so that the window goes while this is still
    // a form.
    DestroyHandle();
    if (TApplication* app = AppOf(this))
        app->FormDestroyed(this);
}

uint32_t TForm::FrameStyle(uint32_t& exStyle) const {
    exStyle = 0;
    if (BorderStyle == bsNone)
        return kWsPopup;
    uint32_t style = kWsCaption;
    if (BorderStyle == bsSizeable)
        style |= kWsThickFrame;
    if (BorderIconSystemMenu)
        style |= kWsSysMenu;
    if (BorderIconMinimize)
        style |= kWsMinimizeBox;
    if (BorderIconMaximize)
        style |= kWsMaximizeBox;
    return style;
}

void TForm::SetClientSize(int32_t width, int32_t height) {
    uint32_t ex = 0;
    uint32_t style = FrameStyle(ex);
    TSize outer = Ws().ClientToWindow(style, ex, width, height);
    settingClient_ = true;
    SetBounds(Left(), Top(), outer.cx, outer.cy);
    settingClient_ = false;
    clientWidth_ = width;
    clientHeight_ = height;
    clientSized_ = true;
}

void TForm::BoundsChanged() {
    if (settingClient_)
        return;
    clientSized_ = false;
    uint32_t ex = 0;
    uint32_t style = FrameStyle(ex);
    TSize frame = Ws().ClientToWindow(style, ex, 0, 0);
    clientWidth_ = Width() - frame.cx;
    clientHeight_ = Height() - frame.cy;
}

void TForm::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    uint32_t ex = 0;
    // No WS_CLIPCHILDREN: a group box paints only its frame, and the form's
    // background has to show through its inside.
    params.Style = FrameStyle(ex);
    params.ExStyle = ex;
    TApplication* app = AppOf(this);
    params.WndParent = app ? app->Handle() : 0; // owner: the application window
    if (Position == poDefault) {
        params.X = kUseDefault;
        params.Y = kUseDefault;
    }
    if (clientSized_) {
        // The frame is known only now that the border style is final.
        TSize outer = Ws().ClientToWindow(params.Style, params.ExStyle, clientWidth_,
                                          clientHeight_);
        params.Width = outer.cx;
        params.Height = outer.cy;
    }
}

void TForm::InitWindow() {}

void TForm::Show() {
    SetVisibleFlag(true);
    HandleNeeded();
    if (TApplication* app = AppOf(this))
        app->FormShown(this);
    Ws().ShowWindow(Handle(), kSwShowNormal);
    if (shown_)
        return;
    shown_ = true;
    TControl* first = nullptr;
    for (TControl* c : Controls())
        if (c->TabOrder >= 0 && c->Visible() && (!first || c->TabOrder < first->TabOrder))
            first = c;
    if (auto* group = dynamic_cast<TRadioGroup*>(first)) {
        first = nullptr;
        if (group->ItemCount() > 0)
            first = group->Button(group->ItemIndex() >= 0 ? group->ItemIndex() : 0);
    }
    if (first && first->HandleAllocated())
        Ws().SetFocus(first->Handle());
}

void TForm::Hide() {
    SetVisibleFlag(false);
    if (HandleAllocated())
        Ws().ShowWindow(Handle(), kSwHide);
}

void TForm::Close() {
    TCloseAction action = caHide;
    if (OnClose) {
        // A second Close while OnClose waits is allowed; it runs OnClose again.
        bool outer = !closing_;
        closing_ = true;
        ++closeDepth;
        try {
            OnClose(this, action);
        } catch (...) {
            --closeDepth;
            if (outer)
                closing_ = false;
            throw;
        }
        --closeDepth;
        if (outer)
            closing_ = false;
    }
    if (action == caNone)
        return;
    TApplication* app = AppOf(this);
    switch (action) {
    case caHide: Hide(); break;
    case caMinimize:
        if (HandleAllocated())
            Ws().ShowWindow(Handle(), kSwMinimize);
        break;
    case caFree:
        if (app)
            app->Release(this);
        break;
    default: break;
    }
    if (app && app->MainForm() == this)
        app->Terminate();
}

void TForm::DoCreate() {
    if (created_)
        return;
    InheritFonts(*this);
    if (Scaled) {
        int ppi = Ws().PixelsPerInch();
        if (ppi > 0 && ppi != 96)
            ScaleBy(ppi, 96);
    }
    if (OnCreate)
        Guarded([this] { OnCreate(this); });
    created_ = true;
}

void TForm::WmClose() { Close(); }

void TForm::WmChar(wchar_t& key) {
    if (OnKeyPress)
        OnKeyPress(this, key);
}

void TForm::WmMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
}

void TForm::WmMouseMove(TShiftState shift, int32_t x, int32_t y) {
    if (OnMouseMove)
        OnMouseMove(this, shift, x, y);
}

void TForm::ScaleBy(int num, int den) {
    // A form keeps its place; its client area and contents scale.
    Font.Height = ScaleValue(Font.Height, num, den);
    SetClientSize(ScaleValue(clientWidth_, num, den), ScaleValue(clientHeight_, num, den));
    std::vector<TControl*> children = Controls();
    for (TControl* c : children)
        c->ScaleBy(num, den);
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication() : TComponent(nullptr), previous_(Application) { Application = this; }

TApplication::~TApplication() {
    // The forms first, while the application they report to is whole.
    DestroyComponents();
    if (handle_)
        Ws().DestroyWindow(handle_);
    if (Application == this)
        Application = previous_;
}

os::Handle TApplication::Handle() {
    if (!handle_)
        handle_ = Ws().CreateAppWindow(title_);
    return handle_;
}

void TApplication::SetTitle(const std::wstring& title) {
    title_ = title;
    // The title is what another instance looks for: it goes on a window now.
    if (handle_)
        Ws().SetText(handle_, title_);
    else
        Handle();
}

void TApplication::Created(TForm* form) {
    if (!mainForm_)
        mainForm_ = form;
    form->DoCreate();
    if (form->Visible())
        form->Show();
}

void TApplication::ProcessMessages() {
    bool quit = false;
    while (Ws().DispatchOne(quit)) {
        if (quit)
            terminated_ = true;
        quit = false;
    }
    FreeReleased();
}

void TApplication::Run() {
    if (!mainForm_)
        return;
    if (!mainForm_->Visible())
        mainForm_->Show();
    while (!terminated_) {
        bool quit = false;
        if (Ws().WaitDispatchOne(quit) && quit)
            terminated_ = true;
        FreeReleased();
    }
}

void TApplication::Terminate() { Ws().PostQuit(); }

void TApplication::ShowException(const Exception& e) {
    std::wstring text = e.Message();
    if (!text.empty() && text.back() != L'.')
        text += L'.';
    os::Handle owner =
        mainForm_ && mainForm_->HandleAllocated() ? mainForm_->Handle() : Handle();
    Ws().ShowError(owner, text, title_);
}

void TApplication::FormDestroyed(TForm* form) {
    if (mainForm_ == form)
        mainForm_ = nullptr;
    released_.erase(std::remove(released_.begin(), released_.end(), form), released_.end());
}

void TApplication::FormShown(TForm* /*form*/) {
    // The application window carries the taskbar entry; it appears with
    // the first form. It has no size, so nothing shows on the screen.
    if (appShown_)
        return;
    appShown_ = true;
    Ws().ShowWindow(Handle(), kSwShowNoActivate);
}

void TApplication::Release(TForm* form) {
    if (std::find(released_.begin(), released_.end(), form) == released_.end())
        released_.push_back(form);
}

void TApplication::FreeReleased() {
    if (closeDepth > 0)
        return;
    while (!released_.empty()) {
        TForm* form = released_.back();
        released_.pop_back();
        delete form;
    }
}

// ---------------------------------------------------------------- globals

int32_t TScreen::Width() const { return Ws().ScreenWidth(); }
int32_t TScreen::Height() const { return Ws().ScreenHeight(); }

TApplication* Application = nullptr;

namespace {
TScreen screen;
// Cheap: no window until one is asked for.
[[maybe_unused]] TApplication* const defaultApplication = new TApplication;
} // namespace

TScreen* Screen = &screen;

void Guarded(const std::function<void()>& f) {
    auto report = [](const Exception& e) {
        try {
            if (Application)
                Application->ShowException(e);
        } catch (...) {
            // Nothing more can be done from inside a window procedure.
        }
    };
    try {
        f();
    } catch (const Exception& e) {
        report(e);
    } catch (const std::exception& e) {
        report(Exception(Widen(e.what())));
    } catch (...) {
        report(Exception(L"不明なエラー"));
    }
}

} // namespace vcl
