// The rotation window: playlist, child screen-saver control, scheduler.
#pragma once

#include <cstdint>
#include <string>

#include "os/Os.h"
#include "vcl/Forms.h"

// The program's one pseudo-random generator, shared by the shuffle and the
// nudge.
extern uint32_t RandSeed;
// Seeds from the UTC time of day in milliseconds.
void SeedRandom();
// 32-bit LCG; the high half of the 64-bit product with n, in 0..n-1.
int32_t RandomBelow(int32_t n);

class TForm2 : public vcl::TForm {
  public:
    explicit TForm2(vcl::TComponent* owner);
    const wchar_t* ClassName() const override { return L"TForm2"; }

    vcl::TLabel* Label1;
    vcl::TTimer* Timer1;
    vcl::TLabel* Label2;
    vcl::TLabel* Label3;

    void FormCreate(vcl::TComponent* sender);
    void FormClose(vcl::TComponent* sender, vcl::TCloseAction& action);
    void Timer1Timer(vcl::TComponent* sender);
    void FormKeyPress(vcl::TComponent* sender, wchar_t& key);
    void FormMouseDown(vcl::TComponent* sender, vcl::TMouseButton button, vcl::TShiftState shift,
                       int32_t x, int32_t y);
    void FormMouseMove(vcl::TComponent* sender, vcl::TShiftState shift, int32_t x, int32_t y);

    // Playlist.
    void LoadSettings();
    int32_t NextSlot();
    void ShuffleSlots();
    // Child control.
    void LaunchSlot(int32_t slot);
    bool ChildFinished();
    void NudgeChild();
    // Scheduler, preview mode.
    void PreviewTick();
    // Layout.
    void LayoutFullScreen();
    void LayoutPreview();

    uint32_t IntervalMinutes = 0;
    int32_t PlayMode = 0;
    std::wstring SaverFiles[32];
    int32_t RunningSlot = 0;
    int32_t CurrentSlot = 0;
    uint32_t StartTick = 0;
    os::Point SavedCursor;
    int32_t ShuffleOrder[32] = {};
    int32_t ShufflePos = 0;
    int32_t SlotCount = 0;
    os::StartupInfo ChildStartup;
    os::ProcessInfo ChildProcess;

    // WM_SYSCOMMAND: refuses SC_SCREENSAVE; true when handled here.
    bool WMSysCommand(uint32_t cmd, intptr_t& result);
    bool WmSysCommand(uint32_t cmd, intptr_t& result) override;
    void WmDestroyed() override;

  protected:
    void CreateParams(vcl::TCreateParams& params) override;

  private:
    // Set by the first FormClose that does the work; a close arriving during
    // its PumpWait must not restore the pointer or close the handle again.
    bool closeDone_ = false;
};

extern TForm2* Form2;
