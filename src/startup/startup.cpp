// Program entry: the start-up sequence on top of the mode decision.
#include <windows.h>

#include "ScrnSave/ScrnSave.h"
#include "main/main.h"
#include "sub1/sub1.h"
#include "vcl/Forms.h"
#include "vcl/WindowSystem.h"

using namespace vcl;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    DecideMode();
    if (PrevInstanceWnd != 0)
        return 0; // another instance runs: read nothing, show nothing

    Application->SetTitle(kSaverTitle);
    Application->CreateForm(Form1);
    Ws().ShowWindow(Application->Handle(), kSwHide);

    const bool rotation = SaverMode == smSaver || SaverMode == smPreview;
    if (rotation) {
        delete Form1;
        Form1 = nullptr;
        if (SaverMode == smPreview)
            Ws().ShowWindow(ParentWnd, kSwShow);
        Application->ProcessMessages();
        Application->CreateForm(Form2);
        Ws().ShowWindow(Application->Handle(), kSwHide);
    }

    Application->Run();
    Application->ProcessMessages();
    if (rotation) {
        delete Form2;
        Form2 = nullptr;
        Application->ProcessMessages();
    }
    delete Application; // destroys what is left: the dialog, the application window
    Application = nullptr;
    return 0;
}
