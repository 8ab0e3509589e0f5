#include "ScrnSave/ScrnSave.h"

#include "vcl/Forms.h"
#include "vcl/SysUtils.h"

const wchar_t kSaverTitle[] = L"KestraneScreenSaverExecuter";

TSaverMode SaverMode = smSaver;
os::Handle ParentWnd = 0;
os::Rect PreviewRect;
os::Handle PrevInstanceWnd = 0;

TSaverMode ModeFromSwitch(const std::wstring& arg) {
    static const struct {
        const wchar_t* text;
        TSaverMode mode;
    } kSwitches[] = {
        {L"/s", smSaver},    {L"/S", smSaver},    {L"-s", smSaver},    {L"-S", smSaver},
        {L"/p", smPreview},  {L"/P", smPreview},  {L"-p", smPreview},  {L"-P", smPreview},
        {L"/l", smPreview},  {L"/L", smPreview},  {L"-l", smPreview},  {L"-L", smPreview},
        {L"/a", smPassword}, {L"/A", smPassword}, {L"-a", smPassword}, {L"-A", smPassword},
    };
    for (const auto& s : kSwitches)
        if (arg == s.text)
            return s.mode;
    return smConfig;
}

void DecideMode() {
    os::Os& sys = os::Sys();
    PrevInstanceWnd = sys.FindTopWindow(kSaverTitle);

    // A second argument that is no number gives no window: the host starts
    // us unattended, so there is nobody to tell.
    ParentWnd = 0;
    if (vcl::ParamCount() >= 2) {
        int32_t v = 0;
        if (vcl::TryStrToInt(vcl::ParamStr(2), v))
            // Handles are 32-bit values, sign-extended as 64-bit Windows does.
            ParentWnd = static_cast<os::Handle>(static_cast<intptr_t>(v));
    }

    SaverMode = ModeFromSwitch(vcl::ParamStr(1));

    PreviewRect = os::Rect{};
    if (SaverMode == smPreview) {
        os::Rect r;
        if (sys.WindowRect(ParentWnd, r))
            PreviewRect = r;
    }
}

void PumpWait(uint32_t ms) {
    // Polls without sleeping; unsigned subtraction survives the wrap.
    const uint32_t start = os::Sys().TickCount();
    uint32_t now;
    do {
        vcl::Application->ProcessMessages();
        now = os::Sys().TickCount();
    } while (static_cast<uint32_t>(now - start) <= ms);
}
