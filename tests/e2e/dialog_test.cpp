// The settings dialog, driven from outside: what it shows for a settings
// file, what "OK" writes, what closing writes (nothing), and the error box
// of a write that the system refuses.
#include "fixture.h"

#include <algorithm>

namespace e2e {
namespace {

class DialogTest : public ScrTest {
  protected:
    // Confirms the dialog and waits for the program's end.
    void ConfirmAndWait(const DialogView& d, Process& p) {
        d.PostOk();
        ExpectCleanExit(p);
    }
};

std::vector<std::string> NonEmpty(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (!l.empty())
            out.push_back(l);
    return out;
}

// --- Design ------------------------------------------------------------------

TEST_F(DialogTest, ShowsItsDesign) {
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());

    WindowInfo w = Describe(d.form);
    EXPECT_EQ(w.title, kTitle);
    EXPECT_TRUE(w.style & WS_SYSMENU);
    EXPECT_TRUE(w.style & WS_MINIMIZEBOX);
    EXPECT_FALSE(w.style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(w.style & WS_THICKFRAME) << "the frame is not resizable";
    EXPECT_FALSE(w.style & WS_CHILD);
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(w.client.right - w.client.left, MulDiv(293, dpi, 96));
    EXPECT_EQ(w.client.bottom - w.client.top, MulDiv(190, dpi, 96));

    SCROLLINFO si{};
    si.cbSize = sizeof si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(d.scroll, SB_CTL, &si));
    EXPECT_EQ(si.nMin, 1);
    EXPECT_EQ(si.nMax, 120);
    EXPECT_EQ(si.nPage, 0u);
    EXPECT_FALSE(GetWindowLongPtrW(d.scroll, GWL_STYLE) & SBS_VERT);

    EXPECT_EQ(TextOf(d.radios[0]), L"順番に起動");
    EXPECT_EQ(TextOf(d.radios[1]), L"ランダム（シャッフル）起動");
    ASSERT_NE(d.group, nullptr);
    EXPECT_EQ(TextOf(d.group), L"スクリーンセーバー起動順序");
    std::vector<std::wstring> labels;
    for (HWND s : Children(d.form, L"Static"))
        labels.push_back(TextOf(s));
    EXPECT_NE(std::find(labels.begin(), labels.end(), L"スクリーンセーバーの起動間隔"),
              labels.end());

    // The scroll bar is first in the tab order and so has the focus.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ASSERT_TRUE(WaitUntil([&] {
        return GetGUIThreadInfo(GetWindowThreadProcessId(d.form, nullptr), &gui) &&
               gui.hwndFocus == d.scroll;
    })) << "focus is on a window of class " << Narrow(Describe(gui.hwndFocus).className);

    PostMessageW(d.form, WM_CLOSE, 0, 0);
    ExpectCleanExit(*p);
}

// --- What it shows and what "OK" writes ---------------------------------------

struct LoadCase {
    const char* name;
    std::string ini; // empty: no file
    int position;
    const wchar_t* edit;
    int checked; // -1 none
    int click;   // radio to click before OK, -1 none
    const wchar_t* savedInterval;
    const wchar_t* savedMode;
};

std::string KsScr(const std::string& body) { return "[KS_SCR]\r\n" + body; }

const LoadCase kLoadCases[] = {
    {"NoFile", "", 1, L"1分", 0, -1, L"1", L"0"},
    {"Interval37", KsScr("Interval=37\r\n"), 37, L"37分", 0, -1, L"37", L"0"},
    {"Interval500", KsScr("Interval=500\r\n"), 120, L"120分", 0, -1, L"120", L"0"},
    {"Interval120Shuffled", KsScr("Interval=120\r\nMode=1\r\n"), 120, L"120分", 1, -1, L"120",
     L"1"},
    {"Interval0", KsScr("Interval=0\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    {"IntervalNegative", KsScr("Interval=-5\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    {"Interval2", KsScr("Interval=2\r\n"), 2, L"2分", 0, -1, L"2", L"0"},
    {"Mode5", KsScr("Interval=10\r\nMode=5\r\n"), 10, L"10分", 1, -1, L"10", L"1"},
    {"ModeMinus4", KsScr("Mode=-4\r\n"), 1, L"1分", -1, -1, L"1", L"-1"},
    {"ModeMinus4ClickFirst", KsScr("Mode=-4\r\n"), 1, L"1分", -1, 0, L"1", L"0"},
    {"ModeMinus4ClickSecond", KsScr("Mode=-4\r\n"), 1, L"1分", -1, 1, L"1", L"1"},
    {"ClickSecondOverFirst", KsScr("Mode=0\r\n"), 1, L"1分", 0, 1, L"1", L"1"},
    // The program's own integer syntax, not the profile functions'.
    {"HexDollar", KsScr("Interval=$1e\r\n"), 30, L"30分", 0, -1, L"30", L"0"},
    {"Hex0x", KsScr("Interval=0X1E\r\nMode=0x1\r\n"), 30, L"30分", 1, -1, L"30", L"1"},
    {"HexAllOnes", KsScr("Interval=$FFFFFFFF\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    // Malformed values read as the defaults.
    {"DecimalPoint", KsScr("Interval=1.5\r\nMode=x\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    {"MinuteSign", KsScr("Interval=5\x95\xaa\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    {"SignBeforeHex", KsScr("Interval=-0x5\r\nMode=+$1\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    {"OutOfRange", KsScr("Interval=2147483648\r\nMode=$123456789\r\n"), 1, L"1分", 0, -1, L"1",
     L"0"},
    {"Empty", KsScr("Interval=\r\nMode=\r\n"), 1, L"1分", 0, -1, L"1", L"0"},
    // Overlong lines neither break the lines after them nor read as numbers.
    {"OverlongLines",
     KsScr("Junk=" + std::string(3000, 'x') + "\r\nInterval=37\r\nMode=" +
           std::string(3000, '9') + "\r\n"),
     37, L"37分", 0, -1, L"37", L"0"},
    {"OtherSectionsOnly", "[SCRFiles]\r\nNo0=a.scr\r\n", 1, L"1分", 0, -1, L"1", L"0"},
};

class LoadTest : public DialogTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadTest, ShowsTheFileAndOkWritesTheControls) {
    const LoadCase& c = GetParam();
    if (!c.ini.empty())
        WriteIni(c.ini);
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());

    EXPECT_EQ(d.Position(), c.position);
    EXPECT_EQ(d.EditText(), c.edit);
    EXPECT_EQ(d.Checked(), c.checked);
    EXPECT_FALSE(HasMessageBox(p->Pid()));
    if (c.click >= 0) {
        d.ClickRadio(c.click);
        EXPECT_EQ(d.Checked(), c.click);
    }

    ConfirmAndWait(d, *p);
    EXPECT_EQ(IniValue(L"Interval"), c.savedInterval);
    EXPECT_EQ(IniValue(L"Mode"), c.savedMode);
}

INSTANTIATE_TEST_SUITE_P(Values, LoadTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Edit1 only displays the interval: typed text is never read back.
TEST_F(DialogTest, OkWritesTheScrollBarNotTheTypedText) {
    WriteIni(KsScr("Interval=37\r\n"));
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    Send(d.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"50"));
    EXPECT_EQ(d.EditText(), L"50");
    ConfirmAndWait(d, *p);
    EXPECT_EQ(IniValue(L"Interval"), L"37");
}

// --- The scroll bar ----------------------------------------------------------

TEST_F(DialogTest, ScrollBarStepsByOneWithinItsLimitsAndEditFollows) {
    WriteIni(KsScr("Interval=119\r\n"));
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    ASSERT_EQ(d.Position(), 119);

    struct Step {
        int code;
        int expected;
    };
    // Arrows (LINE) and trough clicks (PAGE) as the scroll bar reports them.
    const Step steps[] = {
        {SB_LINERIGHT, 120}, {SB_LINERIGHT, 120}, {SB_PAGERIGHT, 120}, {SB_LINELEFT, 119},
        {SB_PAGELEFT, 118},  {SB_PAGERIGHT, 119}, {SB_ENDSCROLL, 119}, {SB_LEFT, 1},
        {SB_LINELEFT, 1},    {SB_PAGELEFT, 1},    {SB_PAGERIGHT, 2},   {SB_LINERIGHT, 3},
        {SB_PAGELEFT, 2},    {SB_LINELEFT, 1},    {SB_RIGHT, 120},     {SB_PAGELEFT, 119},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE("scroll code " + std::to_string(s.code) + " to " +
                     std::to_string(s.expected));
        d.Scroll(s.code);
        EXPECT_EQ(d.Position(), s.expected);
        EXPECT_EQ(d.EditText(), std::to_wstring(s.expected) + L"分");
    }
    ConfirmAndWait(d, *p);
    EXPECT_EQ(IniValue(L"Interval"), L"119");
}

// The thumb dragged with the real mouse: the position follows the pointer
// within 1..120 and Edit1 follows the position all along.
TEST_F(DialogTest, DraggingTheThumbMovesEditAlong) {
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    ASSERT_EQ(d.Position(), 1);
    const DWORD tid = GetWindowThreadProcessId(d.form, nullptr);
    auto capture = [tid] {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        return GetGUIThreadInfo(tid, &gui) ? gui.hwndCapture : nullptr;
    };

    RECT r;
    GetWindowRect(d.scroll, &r);
    // At position 1 the thumb stands right after the left arrow.
    const int x = r.left + GetSystemMetrics(SM_CXHSCROLL) + 3;
    const int y = (r.top + r.bottom) / 2;
    SendMouse(x, y);
    SendMouse(x, y, MOUSEEVENTF_LEFTDOWN);
    ASSERT_TRUE(WaitUntil([&] { return capture() == d.scroll; })) << "no drag started";
    EXPECT_EQ(d.Position(), 1) << "the press missed the thumb";

    int last = 1;
    for (int dx = 6; last < 120 && dx <= 400; dx += 6) {
        SendMouse(x + dx, y);
        ASSERT_TRUE(WaitUntil([&] { return d.Position() != last; }, 2000)) << "at +" << dx;
        int now = d.Position();
        EXPECT_GT(now, last);
        EXPECT_LE(now, 120);
        EXPECT_TRUE(WaitUntil([&] { return d.EditText() == std::to_wstring(now) + L"分"; }))
            << "Edit1 shows " << Narrow(d.EditText()) << " at " << now;
        last = now;
    }
    EXPECT_EQ(last, 120);
    SendMouse(r.right + 10, y); // a little beyond the end: stays at the limit
    Sleep(100);
    EXPECT_EQ(d.Position(), 120);

    SendMouse(x + 60, y);
    ASSERT_TRUE(WaitUntil([&] { return d.Position() != 120; }));
    SendMouse(x + 60, y, MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(WaitUntil([&] { return capture() == nullptr; }));
    const int dropped = d.Position();
    EXPECT_GT(dropped, 1);
    EXPECT_LT(dropped, 120);
    EXPECT_EQ(d.EditText(), std::to_wstring(dropped) + L"分");

    ConfirmAndWait(d, *p);
    EXPECT_EQ(IniValue(L"Interval"), std::to_wstring(dropped));
}

// --- The file after "OK" -----------------------------------------------------

TEST_F(DialogTest, NewFileHoldsOnlyTheTwoKeys) {
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    for (int minutes = 2; minutes <= 5; ++minutes) {
        d.Scroll(SB_LINERIGHT);
        EXPECT_EQ(d.EditText(), std::to_wstring(minutes) + L"分");
    }
    d.ClickRadio(1);
    EXPECT_FALSE(FileExists(ini)) << "nothing is written while the dialog is open";
    ConfirmAndWait(d, *p);

    std::vector<std::string> expected = {"[KS_SCR]", "Interval=5", "Mode=1"};
    EXPECT_EQ(NonEmpty(SplitLines(ReadBytes(ini))), expected);
}

struct KeepCase {
    const char* name;
    std::string before;
};

const KeepCase kKeepCases[] = {
    {"ListOnly",
     "; screen savers, kept by hand\r\n"
     "[SCRFiles]\r\n"
     "No0=a.scr\r\n"
     "No1=b.scr\r\n"
     "; No2=disabled.scr\r\n"
     "No5=gap.scr\r\n"
     "\r\n"
     "[Other]\r\n"
     "Key=Value\r\n"},
    {"SettingsBetweenOthers",
     "[SCRFiles]\r\n"
     "No0=a.scr\r\n"
     "[KS_SCR]\r\n"
     "Interval=37\r\n"
     "Extra=keep me\r\n"
     "Mode=0\r\n"
     "[Other]\r\n"
     "No0=other.scr\r\n"},
};

class KeepTest : public DialogTest, public ::testing::WithParamInterface<KeepCase> {};

TEST_P(KeepTest, OkKeepsEveryOtherLine) {
    const KeepCase& c = GetParam();
    WriteIni(c.before);
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    d.StepTo(42);
    d.ClickRadio(1);
    ConfirmAndWait(d, *p);

    // Every line but the two values stands in the file, in its order; what
    // was added is the settings section and its two keys, nothing else.
    // (Blank lines are left to the profile functions.)
    std::vector<std::string> after = SplitLines(ReadBytes(ini));
    size_t at = 0;
    for (const std::string& line : NonEmpty(SplitLines(c.before))) {
        if (line.rfind("Interval=", 0) == 0 || line.rfind("Mode=", 0) == 0)
            continue;
        auto found = std::find(after.begin() + static_cast<std::ptrdiff_t>(at), after.end(), line);
        ASSERT_NE(found, after.end()) << "line lost or moved: " << line;
        at = static_cast<size_t>(found - after.begin()) + 1;
    }
    std::vector<std::string> added;
    std::vector<std::string> before = SplitLines(c.before);
    for (const std::string& line : NonEmpty(after))
        if (std::find(before.begin(), before.end(), line) == before.end())
            added.push_back(line);
    std::sort(added.begin(), added.end());
    std::vector<std::string> expectedAdded = {"Interval=42", "Mode=1"};
    if (c.before.find("[KS_SCR]") == std::string::npos)
        expectedAdded.insert(expectedAdded.begin(), "[KS_SCR]");
    std::sort(expectedAdded.begin(), expectedAdded.end());
    EXPECT_EQ(added, expectedAdded);
    EXPECT_EQ(ProfileString(ini, L"SCRFiles", L"No0"), L"a.scr");
    EXPECT_EQ(IniValue(L"Interval"), L"42");
    EXPECT_EQ(IniValue(L"Mode"), L"1");
}

INSTANTIATE_TEST_SUITE_P(Files, KeepTest, ::testing::ValuesIn(kKeepCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Closing without "OK" ----------------------------------------------------

struct CloseCase {
    const char* name;
    UINT msg;
    WPARAM wp;
};

class CloseTest : public DialogTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, WritesNothing) {
    const CloseCase& c = GetParam();
    for (bool withFile : {false, true}) {
        SCOPED_TRACE(withFile ? "with a settings file" : "without a settings file");
        const std::string before = KsScr("Interval=37\r\nMode=0\r\n") + "[SCRFiles]\r\nNo0=a\r\n";
        if (withFile)
            WriteIni(before);
        Process* p = nullptr;
        DialogView d = OpenDialog(p);
        ASSERT_TRUE(d.Complete());
        d.Scroll(SB_LINERIGHT);
        d.ClickRadio(1);
        PostMessageW(d.form, c.msg, c.wp, 0);
        ExpectCleanExit(*p);
        if (withFile)
            EXPECT_EQ(ReadBytes(ini), before);
        else
            EXPECT_FALSE(FileExists(ini));
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseTest,
                         ::testing::Values(CloseCase{"CloseRequest", WM_CLOSE, 0},
                                           CloseCase{"SystemMenuClose", WM_SYSCOMMAND,
                                                     SC_CLOSE}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- A write that the system refuses -----------------------------------------

// The error box's message text, read from its static controls.
std::wstring BoxText(HWND box) {
    for (HWND s : Children(box, L"Static")) {
        std::wstring t = TextOf(s);
        if (!t.empty())
            return t;
    }
    return {};
}

TEST_F(DialogTest, RefusedWriteShowsTheErrorAndKeepsTheDialog) {
    // A folder in the file's place makes every write fail, even for root.
    ASSERT_TRUE(CreateDirectoryW(ini.c_str(), nullptr));
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    d.StepTo(42);
    d.ClickRadio(1);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE("OK pressed " + std::to_string(attempt) + " time(s)");
        d.PostOk();
        HWND box = WaitForWindow(p->Pid(), L"#32770");
        ASSERT_NE(box, nullptr) << "no error box";
        EXPECT_EQ(Describe(box).title, kTitle);
        EXPECT_EQ(BoxText(box), ini + L" に書き込めません.");
        std::vector<std::wstring> buttons;
        for (HWND b : Children(box, L"Button"))
            buttons.push_back(TextOf(b));
        EXPECT_EQ(buttons, std::vector<std::wstring>{L"OK"});

        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box did not go";
        // The dialog stays, with its values.
        ASSERT_TRUE(p->Running());
        EXPECT_TRUE(IsWindowVisible(d.form));
        EXPECT_EQ(d.Position(), 42);
        EXPECT_EQ(d.EditText(), L"42分");
        EXPECT_EQ(d.Checked(), 1);
    }

    PostMessageW(d.form, WM_CLOSE, 0, 0);
    ExpectCleanExit(*p);
    EXPECT_TRUE(DirExists(ini));
}

} // namespace
} // namespace e2e
