#include "sub1/sub1.h"

#include "ScrnSave/ScrnSave.h"
#include "settings/settings.h"
#include "vcl/IniFiles.h"
#include "vcl/SysUtils.h"
#include "vcl/WindowSystem.h"

TForm2* Form2 = nullptr;

uint32_t RandSeed = 0;

void SeedRandom() {
    os::UtcTime t = os::Sys().SystemTimeUtc();
    RandSeed = ((uint32_t(t.hour) * 60u + t.minute) * 60u + t.second) * 1000u + t.milliseconds;
}

int32_t RandomBelow(int32_t n) {
    RandSeed = RandSeed * 134775813u + 1u;
    return static_cast<int32_t>((uint64_t(RandSeed) * uint32_t(n)) >> 32);
}

namespace {

constexpr uint32_t kTickMs = 200;
constexpr uint32_t kMsPerMinute = 60000;
constexpr int32_t kIdle = -1;
constexpr int32_t kStopping = -2;
// The pointer jumps within this top-left area to make a child end itself.
constexpr int32_t kNudgeWidth = 320;
constexpr int32_t kNudgeHeight = 240;
constexpr uint32_t kNudgeWaitMs = 100;
constexpr uint32_t kCloseWaitMs = 250;
// sizeof(STARTUPINFOW) for this build; the header of Windows stays out of here.
constexpr uint32_t kStartupInfoSize = sizeof(void*) == 8 ? 104 : 68;

void Design(vcl::TLabel* label, vcl::TForm* form, const wchar_t* name, int32_t left, int32_t top,
            int32_t width, const std::wstring& caption) {
    label->Name = name;
    label->SetParent(form);
    label->SetBounds(left, top, width, 12);
    label->SetCaption(caption);
    label->Font = form->Font;
    label->SetVisible(false);
}

} // namespace

TForm2::TForm2(vcl::TComponent* owner) : vcl::TForm(owner) {
    Name = L"Form2";
    SetCaption(kSaverTitle);
    BorderStyle = vcl::bsNone;
    BorderIconSystemMenu = true;
    BorderIconMinimize = true;
    BorderIconMaximize = false;
    Position = vcl::poDesigned;
    // The window is sized to the display or the host at creation; scaling the
    // design by the text size would only distort that.
    Scaled = false;
    SetColor(vcl::clWhite);
    Font.Name = L"ＭＳ Ｐゴシック";
    Font.Height = -12;
    Font.Charset = vcl::SHIFTJIS_CHARSET_;
    Font.Color = vcl::clWindowText;
    SetLeft(381);
    SetTop(107);
    SetClientSize(251, 71);

    Label1 = new vcl::TLabel(this);
    Design(Label1, this, L"Label1", 8, 8, 237, L"Kestraneスクリーンセーバー巡回起動ソフト");

    Timer1 = new vcl::TTimer(this);
    Timer1->Name = L"Timer1";
    Timer1->SetEnabled(false);
    Timer1->SetInterval(0);
    Timer1->OnTimer = [this](vcl::TComponent* sender) { Timer1Timer(sender); };

    Label2 = new vcl::TLabel(this);
    Design(Label2, this, L"Label2", 56, 32, 33, L"Label2");
    Label3 = new vcl::TLabel(this);
    Design(Label3, this, L"Label3", 56, 48, 33, L"Label3");

    OnCreate = [this](vcl::TComponent* sender) { FormCreate(sender); };
    OnClose = [this](vcl::TComponent* sender, vcl::TCloseAction& action) {
        FormClose(sender, action);
    };
    OnKeyPress = [this](vcl::TComponent* sender, wchar_t& key) { FormKeyPress(sender, key); };
    OnMouseDown = [this](vcl::TComponent* sender, vcl::TMouseButton button, vcl::TShiftState shift,
                         int32_t x, int32_t y) { FormMouseDown(sender, button, shift, x, y); };
    OnMouseMove = [this](vcl::TComponent* sender, vcl::TShiftState shift, int32_t x, int32_t y) {
        FormMouseMove(sender, shift, x, y);
    };

    SetVisible(true);
}

void TForm2::CreateParams(vcl::TCreateParams& params) {
    vcl::TForm::CreateParams(params);
    if (ParentWnd != 0) {
        // Inside the host's window (a preview, or a handle given with /s).
        params.WndParent = ParentWnd;
        params.Style = (params.Style & ~vcl::kWsPopup) | vcl::kWsChild;
    } else {
        params.ExStyle |= vcl::kWsExTopmost;
    }
}

bool TForm2::WMSysCommand(uint32_t cmd, intptr_t& result) {
    // Refused so that the system starts no screen saver over our own; the
    // whole value is compared, the low four bits included.
    if (cmd == vcl::kScScreenSave) {
        result = 1;
        return true;
    }
    return vcl::TForm::WmSysCommand(cmd, result);
}

bool TForm2::WmSysCommand(uint32_t cmd, intptr_t& result) { return WMSysCommand(cmd, result); }

void TForm2::WmDestroyed() {
    bool fromOutside = !Destroying();
    vcl::TForm::WmDestroyed();
    // A preview goes with its host window; without this the process would
    // linger with no window at all.
    if (fromOutside && SaverMode == smPreview && vcl::Application)
        vcl::Application->Terminate();
}

void TForm2::FormCreate(vcl::TComponent*) {
    if (SaverMode == smSaver)
        LayoutFullScreen();
    else
        LayoutPreview();
    SeedRandom();
    os::Point pt;
    if (os::Sys().CursorPos(pt))
        SavedCursor = pt;
    for (int32_t i = 0; i < settings::kSlotCount; ++i)
        ShuffleOrder[i] = i;
    ShufflePos = settings::kSlotCount - 1;
    LoadSettings();
    ChildStartup = os::StartupInfo{};
    ChildStartup.cb = kStartupInfoSize;
    ChildStartup.dwFlags = os::kStartfUseShowWindow;
    ChildStartup.wShowWindow = os::kSwShowNormal;
    RunningSlot = kIdle;
    StartTick = 0;
    CurrentSlot = -1;
    Timer1->SetInterval(kTickMs);
    Timer1->SetEnabled(true);
}

void TForm2::LayoutFullScreen() {
    SetBounds(0, 0, vcl::Screen->Width(), vcl::Screen->Height());
}

void TForm2::LayoutPreview() {
    SetBounds(0, 0, PreviewRect.right - PreviewRect.left, PreviewRect.bottom - PreviewRect.top);
    SetColor(vcl::clBlack);
}

void TForm2::FormClose(vcl::TComponent*, vcl::TCloseAction&) {
    if (SaverMode == smPreview || closeDone_)
        return;
    closeDone_ = true;
    os::Sys().MoveCursor(SavedCursor.x, SavedCursor.y);
    Timer1->SetEnabled(false);
    // The child, if any, runs on; only our handle to it goes.
    if (ChildProcess.hProcess != 0)
        os::Sys().CloseHandle(ChildProcess.hProcess);
    Hide();
    vcl::Ws().ShowWindow(vcl::Application->Handle(), vcl::kSwShow);
    PumpWait(kCloseWaitMs);
}

void TForm2::FormKeyPress(vcl::TComponent*, wchar_t&) {
    if (SaverMode != smPreview)
        Close();
}

void TForm2::FormMouseDown(vcl::TComponent*, vcl::TMouseButton, vcl::TShiftState, int32_t,
                           int32_t) {
    if (SaverMode != smPreview)
        Close();
}

void TForm2::FormMouseMove(vcl::TComponent*, vcl::TShiftState, int32_t, int32_t) {}

void TForm2::LoadSettings() {
    vcl::TIniFile ini(settings::SettingsPath());
    IntervalMinutes = static_cast<uint32_t>(ini.ReadInteger(settings::kSaverSection,
                                                            settings::kIntervalKey, 1));
    PlayMode = ini.ReadInteger(settings::kSaverSection, settings::kModeKey, 0);
    for (int32_t slot = settings::kSlotCount - 1; slot >= 0; --slot)
        SaverFiles[slot] = ini.ReadString(settings::kFilesSection, settings::SlotKey(slot), L"");
    SlotCount = 0;
    while (SlotCount < settings::kSlotCount && !SaverFiles[SlotCount].empty())
        ++SlotCount;
}

int32_t TForm2::NextSlot() {
    int32_t s;
    // Orders the dialog cannot write as such: above 1 plays shuffled, below 0
    // in turn, so that every choice names a real slot.
    if (PlayMode >= 1) {
        ++ShufflePos;
        if (ShufflePos >= SlotCount)
            ShuffleSlots();
        s = ShuffleOrder[ShufflePos];
    } else {
        s = CurrentSlot + 1;
        if (s > settings::kSlotCount - 1)
            s = 0;
        if (SaverFiles[s].empty())
            s = 0;
    }
    CurrentSlot = s;
    return s;
}

void TForm2::ShuffleSlots() {
    for (int32_t k = SlotCount; k >= 1; --k) {
        int32_t j = RandomBelow(k);
        int32_t t = ShuffleOrder[j];
        ShuffleOrder[j] = ShuffleOrder[k - 1];
        ShuffleOrder[k - 1] = t;
    }
    ShufflePos = 0;
}

void TForm2::LaunchSlot(int32_t slot) {
    std::wstring folder = os::Sys().ModulePath();
    size_t cut = folder.find_last_of(L"\\:");
    folder.resize(cut == std::wstring::npos ? 0 : cut + 1);
    std::wstring commandLine = L" /S";
    if (os::Sys().StartProcess(folder + SaverFiles[slot], commandLine, os::kNormalPriorityClass,
                               ChildStartup, ChildProcess)) {
        os::Sys().CloseHandle(ChildProcess.hThread);
        ChildProcess.hThread = 0;
    } else {
        // Whatever a failed call left there is no child of ours.
        ChildProcess = os::ProcessInfo{};
    }
}

bool TForm2::ChildFinished() {
    if (ChildProcess.hProcess == 0)
        return true;
    uint32_t code = 0;
    // An exit code that cannot be read counts as an end, so the show can
    // never hang on a child it cannot see.
    if (!os::Sys().ExitCode(ChildProcess.hProcess, code))
        return true;
    return code != os::kStillActive;
}

void TForm2::NudgeChild() {
    int32_t y = RandomBelow(kNudgeHeight);
    int32_t x = RandomBelow(kNudgeWidth);
    os::Sys().MoveCursor(x, y);
    os::Sys().Wait(ChildProcess.hProcess, kNudgeWaitMs);
}

void TForm2::PreviewTick() {}

void TForm2::Timer1Timer(vcl::TComponent*) {
    if (SaverMode == smPreview) {
        PreviewTick();
        return;
    }
    if (RunningSlot >= 0 && ChildFinished()) {
        // Ended before we asked: the user's wish to stop the whole show.
        Close();
        return;
    }
    uint32_t elapsed = (os::Sys().TickCount() - StartTick) / kMsPerMinute;
    if (elapsed < IntervalMinutes)
        return;
    if (RunningSlot >= 0) {
        NudgeChild();
        RunningSlot = kStopping;
        return;
    }
    if (RunningSlot == kStopping) {
        if (ChildFinished()) {
            RunningSlot = kIdle;
            os::Sys().CloseHandle(ChildProcess.hProcess);
            ChildProcess.hProcess = 0;
        } else {
            NudgeChild();
        }
        return;
    }
    int32_t slot = NextSlot();
    LaunchSlot(slot);
    Label3->SetCaption(L"SCRNum:" + vcl::IntToStr(CurrentSlot) + L" hProc:" +
                       vcl::IntToStr(static_cast<uint32_t>(ChildProcess.hProcess)));
    Label2->SetCaption(SaverFiles[CurrentSlot]);
    RunningSlot = CurrentSlot;
    StartTick = os::Sys().TickCount();
}
