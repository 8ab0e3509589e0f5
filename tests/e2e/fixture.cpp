#include "fixture.h"

#include <algorithm>

namespace e2e {

DialogView DialogView::Of(HWND form) {
    DialogView d;
    d.form = form;
    auto scrolls = Children(form, L"ScrollBar");
    if (!scrolls.empty())
        d.scroll = scrolls.front();
    auto edits = Children(form, L"Edit");
    if (!edits.empty())
        d.edit = edits.front();
    for (HWND b : Children(form, L"Button")) {
        LONG_PTR type = GetWindowLongPtrW(b, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)
            d.radios.push_back(b);
        else if (type == BS_GROUPBOX)
            d.group = b;
        else if (TextOf(b) == L"OK")
            d.ok = b;
    }
    // Item order is top to bottom, whatever the Z order of the buttons.
    std::sort(d.radios.begin(), d.radios.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.top < rb.top;
    });
    return d;
}

int DialogView::Position() const { return static_cast<int>(Send(scroll, SBM_GETPOS)); }

int DialogView::Checked() const {
    int checked = -1;
    for (size_t i = 0; i < radios.size(); ++i)
        if (Send(radios[i], BM_GETCHECK) == BST_CHECKED)
            checked = checked == -1 ? static_cast<int>(i) : -2;
    return checked;
}

void DialogView::Scroll(int code, int pos) const {
    Send(GetParent(scroll), WM_HSCROLL, MAKEWPARAM(code, pos), reinterpret_cast<LPARAM>(scroll));
}

void DialogView::StepTo(int pos) const {
    for (int i = 0; i < 240 && Position() != pos; ++i)
        Scroll(Position() < pos ? SB_LINERIGHT : SB_LINELEFT);
}

void DialogView::ClickRadio(int index) const { Send(radios.at(index), BM_CLICK); }

void DialogView::PostOk() const { PostMessageW(ok, BM_CLICK, 0, 0); }

void ScrTest::SetUp() {
    // A leftover instance anywhere would make every start here a refused
    // second instance.
    ASSERT_TRUE(WaitUntil([] { return FindWindowW(nullptr, kTitle) == nullptr; }))
        << "a window titled " << Narrow(kTitle) << " is still open";
    std::wstring source = BinFile(L"KsScrExec.scr");
    ASSERT_TRUE(FileExists(source)) << "no program at " << Narrow(source);
    dir = std::make_unique<TempDir>();
    ASSERT_FALSE(dir->Path().empty());
    scr = dir->CopyIn(source);
    ASSERT_TRUE(FileExists(scr));
    ini = dir->File(L"KsScrExec.ini");
}

void ScrTest::TearDown() {
    procs.clear(); // ends whatever still runs
    dir.reset();
}

Process& ScrTest::Launch(const std::wstring& args, bool suspended) {
    procs.push_back(std::make_unique<Process>(Process::Start(scr, args, suspended)));
    EXPECT_TRUE(procs.back()->Started()) << "could not start " << Narrow(scr);
    return *procs.back();
}

Process& ScrTest::LaunchRaw(const std::wstring& commandLine, const std::wstring& exe) {
    const std::wstring& program = exe.empty() ? scr : exe;
    procs.push_back(std::make_unique<Process>(Process::StartRaw(program, commandLine)));
    EXPECT_TRUE(procs.back()->Started()) << "could not start " << Narrow(program);
    return *procs.back();
}

DialogView ScrTest::OpenDialog(Process*& proc, const std::wstring& args) {
    proc = &Launch(args);
    HWND form = WaitForWindow(proc->Pid(), L"TForm1");
    EXPECT_NE(form, nullptr) << "no settings dialog for arguments \"" << Narrow(args) << "\"";
    DialogView d = form ? DialogView::Of(form) : DialogView{};
    EXPECT_TRUE(!form || d.Complete()) << "dialog controls not found";
    return d;
}

void ScrTest::ExpectCleanExit(Process& p, DWORD ms) {
    DWORD code = 0;
    ASSERT_TRUE(p.WaitExit(code, ms)) << "the program did not end in time";
    EXPECT_EQ(code, 0u);
}

} // namespace e2e
