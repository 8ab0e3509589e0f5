// The window services over Win32. Forms are windows of our own classes with
// one window procedure that finds its TControl in GWLP_USERDATA; controls
// are the standard Win32 controls, whose notifications arrive at the form
// and are passed on to the control's object (kept in the control's
// GWLP_USERDATA, which the standard classes leave to the application).
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "vcl/Forms.h"
#include "vcl/WindowSystem.h"

namespace vcl {

namespace {

const wchar_t kAppClass[] = L"TApplication";
// Posted to the application window to hand activation on to the main form.
const UINT kActivateMain = WM_APP + 1;
// Child-window ids start above IDOK and IDCANCEL so that Enter and Escape,
// which the dialog manager turns into those commands, reach no control.
const int kFirstChildId = 100;

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);

HWND H(os::Handle h) { return reinterpret_cast<HWND>(h); }
os::Handle Os(HWND h) { return reinterpret_cast<os::Handle>(h); }

COLORREF Resolve(TColor c) {
    if (c & 0x80000000u)
        return GetSysColor(static_cast<int>(c & 0xFF));
    return static_cast<COLORREF>(c & 0xFFFFFF);
}

bool IsForm(HWND hwnd) {
    return hwnd && reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == FormProc;
}

TControl* ControlOf(HWND hwnd) {
    return reinterpret_cast<TControl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// The object of a control window that sits on one of our forms.
TControl* ChildControl(HWND child) {
    if (!child || !IsForm(GetParent(child)))
        return nullptr;
    return ControlOf(child);
}

bool HasTabStops(const TControl& form) {
    for (const TControl* c : form.Controls())
        if (c->TabOrder >= 0)
            return true;
    return false;
}

TShiftState ShiftOf(WPARAM wp) {
    TShiftState s = 0;
    if (wp & MK_SHIFT)
        s |= ssShift;
    if (wp & MK_CONTROL)
        s |= ssCtrl;
    if (wp & MK_LBUTTON)
        s |= ssLeft;
    if (wp & MK_RBUTTON)
        s |= ssRight;
    if (wp & MK_MBUTTON)
        s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    return s;
}

class Win32WindowSystem : public WindowSystem {
  public:
    Win32WindowSystem() : instance_(GetModuleHandleW(nullptr)) {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    }

    ~Win32WindowSystem() override {
        for (auto& t : timers_)
            KillTimer(nullptr, t.first);
        for (auto& f : fonts_)
            DeleteObject(f.second);
        for (auto& b : brushes_)
            DeleteObject(b.second);
    }

    os::Handle CreateAppWindow(const std::wstring& title) override {
        RegisterOnce(kAppClass, AppProc);
        // No size, so that showing it (for its taskbar entry) shows nothing.
        HWND h = CreateWindowExW(0, kAppClass, title.c_str(),
                                 WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU |
                                     WS_MINIMIZEBOX,
                                 GetSystemMetrics(SM_CXSCREEN) / 2,
                                 GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
                                 instance_, nullptr);
        return Os(h);
    }

    os::Handle CreateWindowFor(TControl& control, const TCreateParams& p) override {
        if (control.Kind() == ControlKind::Form) {
            std::wstring cls = static_cast<TForm&>(control).ClassName();
            RegisterOnce(cls, FormProc);
            HWND h = CreateWindowExW(p.ExStyle, cls.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y,
                                     p.Width, p.Height, H(p.WndParent), nullptr, instance_,
                                     &control);
            return Os(h);
        }
        const wchar_t* cls = L"BUTTON";
        DWORD style = p.Style;
        DWORD ex = p.ExStyle;
        switch (control.Kind()) {
        case ControlKind::Label:
            cls = L"STATIC";
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            break;
        case ControlKind::ScrollBar:
            cls = L"SCROLLBAR";
            style |= SBS_HORZ;
            break;
        case ControlKind::Edit:
            cls = L"EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::GroupBox: style |= BS_GROUPBOX; break;
        case ControlKind::RadioButton: style |= BS_RADIOBUTTON; break; // the model checks
        default: style |= BS_PUSHBUTTON; break;
        }
        HWND h = CreateWindowExW(ex, cls, p.Caption.c_str(), style, p.X, p.Y, p.Width, p.Height,
                                 H(p.WndParent),
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)),
                                 instance_, nullptr);
        if (!h)
            return 0;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&control));
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control.Font)), TRUE);
        if (control.Kind() == ControlKind::Label)
            FitLabel(h, control);
        return Os(h);
    }

    void DestroyWindow(os::Handle wnd) override { ::DestroyWindow(H(wnd)); }

    void SetBounds(os::Handle wnd, int32_t x, int32_t y, int32_t w, int32_t h) override {
        SetWindowPos(H(wnd), nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    void SetText(os::Handle wnd, const std::wstring& text) override {
        SetWindowTextW(H(wnd), text.c_str());
        TControl* c = ChildControl(H(wnd));
        if (c && c->Kind() == ControlKind::Label)
            FitLabel(H(wnd), *c);
    }

    std::wstring Text(os::Handle wnd) override {
        int n = GetWindowTextLengthW(H(wnd));
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        n = GetWindowTextW(H(wnd), &text[0], n + 1);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return text;
    }

    void ShowWindow(os::Handle wnd, int cmd) override { ::ShowWindow(H(wnd), cmd); }

    void Invalidate(os::Handle wnd) override {
        RedrawWindow(H(wnd), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }

    void SetScrollBar(os::Handle wnd, int32_t min, int32_t max, int32_t pos,
                      int32_t page) override {
        SCROLLINFO si = {};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_POS | SIF_PAGE;
        si.nMin = min;
        si.nMax = max;
        si.nPage = static_cast<UINT>(page);
        si.nPos = pos;
        SetScrollInfo(H(wnd), SB_CTL, &si, TRUE);
    }

    void SetChecked(os::Handle wnd, bool checked) override {
        SendMessageW(H(wnd), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    void SetFocus(os::Handle wnd) override { ::SetFocus(H(wnd)); }

    TSize ClientToWindow(uint32_t style, uint32_t exStyle, int32_t w, int32_t h) override {
        RECT r = {0, 0, w, h};
        AdjustWindowRectEx(&r, style, FALSE, exStyle);
        return {r.right - r.left, r.bottom - r.top};
    }

    uintptr_t StartTimer(TTimer& timer, uint32_t ms) override {
        // A thread timer with a callback: no window needed, and modal loops
        // (a message box) keep it ticking as the main loop does.
        UINT_PTR id = SetTimer(nullptr, 0, ms, TimerProc);
        if (id)
            timers_[id] = &timer;
        return id;
    }

    void StopTimer(uintptr_t id) override {
        KillTimer(nullptr, id);
        timers_.erase(id);
    }

    bool DispatchOne(bool& quit) override {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            return false;
        if (msg.message == WM_QUIT)
            quit = true;
        else
            Dispatch(msg);
        return true;
    }

    // GetMessage waits and takes the message in one call: an idle loop of
    // peek, wait, peek costs the waiting screen saver about a third more.
    bool WaitDispatchOne(bool& quit) override {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1)
            return false;
        if (got == 0)
            quit = true;
        else
            Dispatch(msg);
        return true;
    }

    void Dispatch(MSG& msg) {
        if (HWND form = DialogFormFor(msg.hwnd)) {
            HWND before = GetFocus();
            if (IsDialogMessageW(form, &msg)) {
                if (msg.message == WM_KEYDOWN && msg.wParam >= VK_LEFT && msg.wParam <= VK_DOWN)
                    SelectFocusedRadio(before);
                return;
            }
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    void WaitForMessage() override { WaitMessage(); }

    void PostQuit() override { PostQuitMessage(0); }

    int32_t ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
    int32_t ScreenHeight() override { return GetSystemMetrics(SM_CYSCREEN); }

    int32_t PixelsPerInch() override {
        HDC dc = GetDC(nullptr);
        int ppi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);
        return ppi;
    }

    void ShowError(os::Handle owner, const std::wstring& text,
                   const std::wstring& caption) override {
        MessageBoxW(H(owner), text.c_str(), caption.c_str(), MB_ICONSTOP | MB_OK);
    }

    // ---- used by the window procedures

    HBRUSH Brush(COLORREF color) {
        auto it = brushes_.find(color);
        if (it != brushes_.end())
            return it->second;
        HBRUSH b = CreateSolidBrush(color);
        brushes_[color] = b;
        return b;
    }

    void Tick(UINT_PTR id) {
        auto it = timers_.find(id);
        if (it == timers_.end())
            return; // stopped while the message was queued
        TTimer* timer = it->second;
        Guarded([timer] { timer->Tick(); });
    }

    // Focus is the form's to remember while another window is active.
    void SaveFocus(HWND form) {
        HWND f = GetFocus();
        if (f && IsChild(form, f))
            focus_[form] = f;
    }
    bool RestoreFocus(HWND form) {
        auto it = focus_.find(form);
        if (it == focus_.end() || !IsWindow(it->second) || !IsChild(form, it->second))
            return false;
        ::SetFocus(it->second);
        return true;
    }
    void Forget(HWND form) { focus_.erase(form); }

  private:
    void RegisterOnce(const std::wstring& name, WNDPROC proc) {
        if (!registered_.insert(name).second)
            return;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = proc;
        wc.hInstance = instance_;
        wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
        if (!wc.hIcon)
            wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = nullptr; // painted in WM_ERASEBKGND with the form's colour
        wc.lpszClassName = name.c_str();
        RegisterClassExW(&wc);
    }

    HFONT FontFor(const TFont& f) {
        auto key = std::make_tuple(f.Name, f.Height, f.Charset);
        auto it = fonts_.find(key);
        if (it != fonts_.end())
            return it->second;
        std::wstring face = InstalledFace(f.Name, f.Charset);
        HFONT font = CreateFontW(f.Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, f.Charset,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, face.c_str());
        if (!font)
            return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        fonts_[key] = font;
        return font;
    }

    static int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
        *reinterpret_cast<bool*>(found) = true;
        return 0;
    }

    static bool FaceInstalled(const std::wstring& name, uint8_t charset) {
        LOGFONTW lf = {};
        lf.lfCharSet = charset;
        lstrcpynW(lf.lfFaceName, name.c_str(), LF_FACESIZE);
        bool found = false;
        HDC dc = GetDC(nullptr);
        EnumFontFamiliesExW(dc, &lf, reinterpret_cast<FONTENUMPROCW>(FaceFound),
                            reinterpret_cast<LPARAM>(&found), 0);
        ReleaseDC(nullptr, dc);
        return found;
    }

    // The face itself when it is installed. Otherwise the font mapper may
    // pick a face of the right character set that lacks Latin letters
    // (under Wine a CJK-only fallback font), so a Japanese face goes to the
    // first installed of the usual Japanese UI faces.
    static std::wstring InstalledFace(const std::wstring& name, uint8_t charset) {
        if (charset != SHIFTJIS_CHARSET || FaceInstalled(name, charset))
            return name;
        static const wchar_t* const japanese[] = {
            L"MS PGothic", L"MS UI Gothic", L"Meiryo UI", L"Yu Gothic UI", L"IPAPGothic",
            L"IPAGothic",  L"VL PGothic",   L"TakaoPGothic", L"Noto Sans CJK JP",
        };
        for (const wchar_t* alt : japanese)
            if (FaceInstalled(alt, charset))
                return alt;
        return name;
    }

    // A label grows to show its whole text on its one line.
    void FitLabel(HWND h, const TControl& control) {
        std::wstring text = control.Caption();
        HDC dc = GetDC(h);
        HGDIOBJ old = SelectObject(dc, FontFor(control.Font));
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        ReleaseDC(h, dc);
        RECT r;
        GetWindowRect(h, &r);
        if (size.cx > r.right - r.left)
            SetWindowPos(h, nullptr, 0, 0, size.cx, r.bottom - r.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The form whose controls take Tab and the arrow keys, for a message to
    // hwnd; forms without tab stops get all their keys as they come.
    HWND DialogFormFor(HWND hwnd) {
        for (HWND w = hwnd; w; w = GetParent(w)) {
            if (IsForm(w)) {
                TControl* c = ControlOf(w);
                return c && HasTabStops(*c) ? w : nullptr;
            }
            if (!(GetWindowLongW(w, GWL_STYLE) & WS_CHILD))
                break;
        }
        return nullptr;
    }

    // The arrow keys move the focus between the (not automatic) radio
    // buttons of a group; the button that gets it is selected, as a click
    // would.
    void SelectFocusedRadio(HWND before) {
        HWND now = GetFocus();
        if (!now || now == before)
            return;
        TControl* c = ChildControl(now);
        if (c && c->Kind() == ControlKind::RadioButton && !static_cast<TRadioButton*>(c)->Checked())
            Guarded([c] { c->WmClick(); });
    }

    HINSTANCE instance_;
    int nextId_ = kFirstChildId;
    std::set<std::wstring> registered_;
    std::map<std::tuple<std::wstring, int32_t, uint8_t>, HFONT> fonts_;
    std::map<COLORREF, HBRUSH> brushes_;
    std::map<UINT_PTR, TTimer*> timers_;
    std::map<HWND, HWND> focus_;
};

Win32WindowSystem* theWs = nullptr;
bool shutDown = false;

// At exit: the forms and their windows first, then fonts and brushes.
void Shutdown() {
    delete Application; // makes the one it replaced (none) current
    delete theWs;
    theWs = nullptr;
    shutDown = true;
}

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    if (theWs)
        theWs->Tick(id);
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    TControl* control = ControlOf(hwnd);
    if (!control || !theWs)
        return DefWindowProcW(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_CLOSE: // never DefWindowProc's destroy: the form decides
        Guarded([control] { control->WmClose(); });
        return 0;
    case WM_DESTROY:
        Guarded([control] { control->WmDestroyed(); });
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        theWs->Forget(hwnd);
        break;
    case WM_PRINTCLIENT: // themed controls ask for the background under them
    case WM_ERASEBKGND: {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, theWs->Brush(Resolve(control->Color())));
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Labels, radio buttons and group boxes stand on the form's colour.
        HDC dc = reinterpret_cast<HDC>(wp);
        COLORREF back = Resolve(control->Color());
        TControl* child = ChildControl(reinterpret_cast<HWND>(lp));
        SetTextColor(dc, Resolve(child ? child->Font.Color : clWindowText));
        SetBkColor(dc, back);
        return reinterpret_cast<LRESULT>(theWs->Brush(back));
    }
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED)
            if (TControl* child = ChildControl(reinterpret_cast<HWND>(lp)))
                Guarded([child] { child->WmClick(); });
        return 0;
    case WM_HSCROLL:
        if (TControl* child = ChildControl(reinterpret_cast<HWND>(lp))) {
            int code = LOWORD(wp);
            int32_t pos = HIWORD(wp);
            if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
                SCROLLINFO si = {};
                si.cbSize = sizeof(si);
                si.fMask = SIF_TRACKPOS; // the full 32 bits, not the 16 of wParam
                if (GetScrollInfo(reinterpret_cast<HWND>(lp), SB_CTL, &si))
                    pos = si.nTrackPos;
            }
            Guarded([child, code, pos] { child->WmScroll(code, pos); });
        }
        return 0;
    case WM_CHAR: {
        wchar_t key = static_cast<wchar_t>(wp);
        Guarded([control, &key] { control->WmChar(key); });
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        TMouseButton b = msg == WM_LBUTTONDOWN ? mbLeft : msg == WM_RBUTTONDOWN ? mbRight : mbMiddle;
        TShiftState s = ShiftOf(wp);
        int32_t x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
        Guarded([control, b, s, x, y] { control->WmMouseDown(b, s, x, y); });
        return 0;
    }
    case WM_MOUSEMOVE: {
        TShiftState s = ShiftOf(wp);
        int32_t x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
        Guarded([control, s, x, y] { control->WmMouseMove(s, x, y); });
        return 0;
    }
    case WM_SYSCOMMAND: {
        intptr_t result = 0;
        bool handled = false;
        uint32_t cmd = static_cast<uint32_t>(wp);
        Guarded([control, cmd, &result, &handled] { handled = control->WmSysCommand(cmd, result); });
        if (handled)
            return result;
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            theWs->SaveFocus(hwnd);
        } else if (theWs->RestoreFocus(hwnd)) {
            return 0;
        }
        break;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE: // from the taskbar entry: close the main form instead
        Guarded([] {
            if (Application && Application->MainForm())
                Application->MainForm()->Close();
        });
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE)
            PostMessageW(hwnd, kActivateMain, 0, 0);
        break;
    case kActivateMain: {
        TForm* main = Application ? Application->MainForm() : nullptr;
        if (main && main->HandleAllocated() && GetActiveWindow() == hwnd) {
            HWND m = H(main->Handle());
            if (IsWindowVisible(m) && IsWindowEnabled(m) && !(GetWindowLongW(m, GWL_STYLE) & WS_CHILD))
                SetActiveWindow(m);
        }
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

} // namespace

WindowSystem& Win32Ws() {
    if (!theWs) {
        theWs = new Win32WindowSystem;
        if (!shutDown)
            std::atexit(Shutdown);
    }
    return *theWs;
}

} // namespace vcl
