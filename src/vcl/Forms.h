// Our small stand-in for the form class library: the application object,
// forms built from designs in code, the standard controls and the timer.
// The classes hold their state in plain fields; whatever needs a real
// window goes through WindowSystem (WindowSystem.h), which is Win32 in the
// product and a recording fake in host tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/Os.h"
#include "vcl/SysUtils.h"

namespace vcl {

using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
// System colours: high bit set, low byte is the GetSysColor index.
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindowText = 0x80000008;

constexpr uint8_t DEFAULT_CHARSET_ = 1;
constexpr uint8_t SHIFTJIS_CHARSET_ = 128;

// The Windows values of the bits the layer sets itself.
constexpr uint32_t kWsPopup = 0x80000000u;
constexpr uint32_t kWsChild = 0x40000000u;
constexpr uint32_t kWsVisible = 0x10000000u;
constexpr uint32_t kWsClipChildren = 0x02000000u;
constexpr uint32_t kWsCaption = 0x00C00000u;
constexpr uint32_t kWsBorder = 0x00800000u;
constexpr uint32_t kWsSysMenu = 0x00080000u;
constexpr uint32_t kWsThickFrame = 0x00040000u;
constexpr uint32_t kWsMinimizeBox = 0x00020000u;
constexpr uint32_t kWsMaximizeBox = 0x00010000u;
constexpr uint32_t kWsGroup = 0x00020000u;
constexpr uint32_t kWsTabStop = 0x00010000u;
constexpr uint32_t kWsExTopmost = 0x00000008u;
constexpr uint32_t kWsExControlParent = 0x00010000u;
constexpr int32_t kUseDefault = static_cast<int32_t>(0x80000000u); // CW_USEDEFAULT

constexpr int kSwHide = 0;
constexpr int kSwShowNormal = 1;
constexpr int kSwShowNoActivate = 4;
constexpr int kSwShow = 5;
constexpr int kSwMinimize = 6;

constexpr uint32_t kScScreenSave = 0xF140;

// Scroll codes of WM_HSCROLL.
enum TScrollCode {
    scLineUp = 0,
    scLineDown = 1,
    scPageUp = 2,
    scPageDown = 3,
    scPosition = 4,
    scTrack = 5,
    scTop = 6,
    scBottom = 7,
    scEndScroll = 8,
};

enum TBorderStyle { bsNone, bsSingle, bsSizeable };
enum TPosition { poDesigned, poDefault };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = uint32_t;
constexpr TShiftState ssShift = 0x01;
constexpr TShiftState ssAlt = 0x02;
constexpr TShiftState ssCtrl = 0x04;
constexpr TShiftState ssLeft = 0x08;
constexpr TShiftState ssRight = 0x10;
constexpr TShiftState ssMiddle = 0x20;

enum class ControlKind { Form, Label, ScrollBar, Edit, GroupBox, RadioButton, Button };

struct TFont {
    std::wstring Name = L"Tahoma";
    int32_t Height = -11;
    uint8_t Charset = DEFAULT_CHARSET_;
    TColor Color = clWindowText;
};

// What a window is created with; a form may change it in CreateParams.
struct TCreateParams {
    std::wstring Caption;
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
    int32_t X = 0, Y = 0, Width = 0, Height = 0; // outer bounds
    os::Handle WndParent = 0;                    // parent, or owner of a pop-up
};

class TComponent {
  public:
    explicit TComponent(TComponent* owner);
    virtual ~TComponent(); // frees the components it owns, newest first
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    std::wstring Name;

  protected:
    // Frees the owned components now, newest first.
    void DestroyComponents();

  private:
    TComponent* owner_;
    std::vector<TComponent*> components_;
};

class TForm;

// A control with a window of its own.
class TControl : public TComponent {
  public:
    TControl(TComponent* owner, ControlKind kind);
    ~TControl() override;

    ControlKind Kind() const { return kind_; }
    TControl* Parent() const { return parent_; }
    void SetParent(TControl* parent);
    const std::vector<TControl*>& Controls() const { return controls_; }
    TForm* ParentForm();

    int32_t Left() const { return left_; }
    int32_t Top() const { return top_; }
    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
    void SetLeft(int32_t v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int32_t v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int32_t v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int32_t v) { SetBounds(left_, top_, width_, v); }

    // Caption of a label, button, group or form; the text of an edit box.
    std::wstring Caption() const;
    void SetCaption(const std::wstring& text);

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    TColor Color() const { return color_; }
    void SetColor(TColor color);

    // A control whose Font is left at the default takes its parent's when
    // the form is created.
    TFont Font;
    int TabOrder = -1; // -1: not a tab stop

    os::Handle Handle() const { return handle_; }
    bool HandleAllocated() const { return handle_ != 0; }
    void HandleNeeded();
    void DestroyHandle();

    // Multiplies the design geometry and font by num/den.
    virtual void ScaleBy(int num, int den);

    // Entry points for the window system; event handlers run from here.
    virtual void WmClose() {}
    virtual void WmChar(wchar_t& /*key*/) {}
    virtual void WmMouseDown(TMouseButton, TShiftState, int32_t, int32_t) {}
    virtual void WmMouseMove(TShiftState, int32_t, int32_t) {}
    virtual bool WmSysCommand(uint32_t /*cmd*/, intptr_t& /*result*/) { return false; }
    virtual void WmScroll(int /*code*/, int32_t /*trackPos*/) {}
    virtual void WmClick() {}
    // The window has gone, destroyed by us or with its parent.
    virtual void WmDestroyed();
    // True while we destroy the window ourselves (DestroyHandle, delete),
    // false when it goes for any other reason.
    bool Destroying() const { return destroying_; }

  protected:
    virtual void CreateParams(TCreateParams& params);
    // After the window exists: push state that lives in the window.
    virtual void InitWindow() {}
    // After SetBounds has stored new bounds.
    virtual void BoundsChanged() {}
    void SetVisibleFlag(bool visible) { visible_ = visible; }
    void MarkDestroying() { destroying_ = true; }

  private:
    ControlKind kind_;
    TControl* parent_ = nullptr;
    std::vector<TControl*> controls_;
    int32_t left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    std::wstring caption_;
    bool visible_ = true;
    TColor color_ = clBtnFace;
    os::Handle handle_ = 0;
    bool destroying_ = false;
};

class TLabel : public TControl {
  public:
    explicit TLabel(TComponent* owner) : TControl(owner, ControlKind::Label) {}
};

class TButton : public TControl {
  public:
    explicit TButton(TComponent* owner) : TControl(owner, ControlKind::Button) {}
    std::function<void(TComponent* sender)> OnClick;
    void WmClick() override;
};

class TEdit : public TControl {
  public:
    explicit TEdit(TComponent* owner) : TControl(owner, ControlKind::Edit) {}
    std::wstring Text() const { return Caption(); }
    void SetText(const std::wstring& text) { SetCaption(text); }
};

class TScrollBar : public TControl {
  public:
    explicit TScrollBar(TComponent* owner);

    int32_t Min() const { return min_; }
    int32_t Max() const { return max_; }
    int32_t Position() const { return position_; }
    void SetParams(int32_t position, int32_t min, int32_t max);
    // Limited to Min..Max; OnChange fires when the limited value differs.
    void SetPosition(int32_t position);
    int32_t SmallChange = 1;
    int32_t LargeChange = 1;
    int32_t PageSize = 0;
    std::function<void(TComponent* sender)> OnChange;

    void WmScroll(int code, int32_t trackPos) override;

  protected:
    void InitWindow() override;

  private:
    void Sync();
    int32_t min_ = 0, max_ = 100, position_ = 0;
};

class TRadioButton : public TControl {
  public:
    explicit TRadioButton(TComponent* owner) : TControl(owner, ControlKind::RadioButton) {}
    std::function<void()> OnClick;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    void WmClick() override;
    // A button of a radio group is laid out by its group.
    void ScaleBy(int num, int den) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    void InitWindow() override;

  private:
    bool checked_ = false;
};

// A group box with one column of radio buttons, one per item.
class TRadioGroup : public TControl {
  public:
    explicit TRadioGroup(TComponent* owner) : TControl(owner, ControlKind::GroupBox) {}

    void SetItems(const std::vector<std::wstring>& items);
    int32_t ItemCount() const { return static_cast<int32_t>(buttons_.size()); }
    TRadioButton* Button(int32_t i) const { return buttons_[i]; }
    int32_t ItemIndex() const { return itemIndex_; }
    // Limited to -1..ItemCount()-1; checks that item's button; no event.
    void SetItemIndex(int32_t index);

    void ScaleBy(int num, int den) override;

  protected:
    void InitWindow() override;
    void BoundsChanged() override;

  private:
    void Arrange();
    std::vector<TRadioButton*> buttons_;
    int32_t itemIndex_ = -1;
};

class TTimer : public TComponent {
  public:
    explicit TTimer(TComponent* owner) : TComponent(owner) {}
    ~TTimer() override;

    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    std::function<void(TComponent* sender)> OnTimer;

    // Called by the window system.
    void Tick();

  private:
    void Update();
    uint32_t interval_ = 1000;
    bool enabled_ = true;
    uintptr_t id_ = 0;
};

class TForm : public TControl {
  public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    // Window class name: the form's class name.
    virtual const wchar_t* ClassName() const { return L"TForm"; }

    TBorderStyle BorderStyle = bsSizeable;
    bool BorderIconSystemMenu = true;
    bool BorderIconMinimize = true;
    bool BorderIconMaximize = true;
    TPosition Position = poDesigned;
    // Design geometry follows the system's text size (pixels per inch).
    bool Scaled = true;

    int32_t ClientWidth() const { return clientWidth_; }
    int32_t ClientHeight() const { return clientHeight_; }
    void SetClientSize(int32_t width, int32_t height);

    void Show();
    void Hide();
    // Runs OnClose; a main form that closes ends the application.
    void Close();

    std::function<void(TComponent* sender)> OnCreate;
    std::function<void(TComponent* sender, TCloseAction& action)> OnClose;
    std::function<void(TComponent* sender, wchar_t& key)> OnKeyPress;
    std::function<void(TComponent* sender, TMouseButton, TShiftState, int32_t x, int32_t y)>
        OnMouseDown;
    std::function<void(TComponent* sender, TShiftState, int32_t x, int32_t y)> OnMouseMove;

    // Called once by TApplication::CreateForm after construction.
    void DoCreate();

    void WmClose() override;
    void WmChar(wchar_t& key) override;
    void WmMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) override;
    void WmMouseMove(TShiftState shift, int32_t x, int32_t y) override;
    void ScaleBy(int num, int den) override;

  protected:
    void CreateParams(TCreateParams& params) override;
    void InitWindow() override;
    void BoundsChanged() override;

  private:
    friend class TControl;
    uint32_t FrameStyle(uint32_t& exStyle) const;
    int32_t clientWidth_ = 0, clientHeight_ = 0;
    bool clientSized_ = false; // outer size follows the client size
    bool settingClient_ = false;
    bool created_ = false;     // DoCreate has run
    bool shown_ = false;       // shown at least once
    bool closing_ = false;
};

class TApplication : public TComponent {
  public:
    TApplication();
    ~TApplication() override;

    // The hidden top-level window that owns the forms.
    os::Handle Handle();
    std::wstring Title() const { return title_; }
    void SetTitle(const std::wstring& title);

    TForm* MainForm() const { return mainForm_; }

    // Creates a form, stores it in ref before its OnCreate runs, makes it
    // the main form when there is none, and shows it when it is Visible.
    template <class T> void CreateForm(T*& ref) {
        T* form = new T(this);
        ref = form;
        Created(form);
    }

    // Dispatches every waiting message; a quit message marks the
    // application as terminating.
    void ProcessMessages();
    // Shows the main form, then dispatches until terminating.
    void Run();
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Default handling of an error that leaves an event handler.
    void ShowException(const Exception& e);

    // Bookkeeping of forms; called by TForm.
    void FormDestroyed(TForm* form);
    void FormShown(TForm* form);
    // Frees form once no event of it is running any more.
    void Release(TForm* form);

  private:
    void Created(TForm* form);
    void FreeReleased();
    std::wstring title_;
    os::Handle handle_ = 0;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool appShown_ = false;
    std::vector<TForm*> released_;
    TApplication* previous_ = nullptr;
};

class TScreen {
  public:
    int32_t Width() const;
    int32_t Height() const;
};

// The application in use: a default one exists from static initialisation;
// a TApplication constructed later replaces it until it is destroyed.
extern TApplication* Application;
extern TScreen* Screen;

// Runs f, reporting an error that leaves it through the application's
// default handling instead of letting it cross the window procedure.
void Guarded(const std::function<void()>& f);

} // namespace vcl
