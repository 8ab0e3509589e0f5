// Start-up: which window each command line opens, the single-instance rule,
// odd command lines. The program runs as a separate process; every check
// goes through the window list and the process's exit code.
#include "fixture.h"

namespace e2e {
namespace {

// Keeps a saver-mode instance on screen: an interval that never runs out
// launches nothing, so only a close request ends it.
const char kQuietSaverIni[] = "[KS_SCR]\r\nInterval=-1\r\nMode=0\r\n";

class StartupTest : public ScrTest {};

// --- The settings dialog ---------------------------------------------------

class DialogSwitchTest : public ScrTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(DialogSwitchTest, OpensTheDialogAndEndsWithZero) {
    Process& p = Launch(GetParam());
    HWND form = WaitForWindow(p.Pid(), L"TForm1");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Describe(form).title, kTitle);

    // The application window carries the same title: that is what a second
    // start looks for.
    HWND app = FindWindowOf(p.Pid(), L"TApplication");
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(Describe(app).title, kTitle);
    EXPECT_EQ(FindWindowOf(p.Pid(), L"TForm2"), nullptr);
    EXPECT_FALSE(HasMessageBox(p.Pid()));

    PostMessageW(form, WM_CLOSE, 0, 0);
    ExpectCleanExit(p);
    EXPECT_FALSE(FileExists(ini)) << "reading the settings must not create the file";
}

INSTANTIATE_TEST_SUITE_P(
    Switches, DialogSwitchTest,
    ::testing::Values(L"", L"/c", L"/C", L"/a", L"-A", L"/c:1234", L"/s:1", L"s", L"/sx",
                      // A pair of quotes before the switch is skipped.
                      L"\"\" /c",
                      // A second argument that is no number is ignored
                      // silently, in the dialog as elsewhere.
                      L"/c garbage", L"/c 0x", L"\"\""));

// --- The rotation window ---------------------------------------------------

class SaverSwitchTest : public ScrTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(SaverSwitchTest, OpensTheRotationWindowAndEndsWithZero) {
    WriteIni(kQuietSaverIni);
    Process& p = Launch(GetParam());
    HWND saver = WaitForWindow(p.Pid(), L"TForm2");
    ASSERT_NE(saver, nullptr);
    WindowInfo w = Describe(saver);
    EXPECT_EQ(w.title, kTitle);
    EXPECT_EQ(w.style & WS_CHILD, 0) << "no host window was given";
    // The dialog was created to read the settings, and destroyed unshown.
    EXPECT_EQ(FindWindowOf(p.Pid(), L"TForm1"), nullptr);
    EXPECT_FALSE(HasMessageBox(p.Pid()));

    PostMessageW(saver, WM_CLOSE, 0, 0);
    ExpectCleanExit(p);
}

INSTANTIATE_TEST_SUITE_P(Switches, SaverSwitchTest,
                         ::testing::Values(L"/s", L"/S", L"-s", L"-S",
                                           // Quotes around the switch are dropped.
                                           L"\"/s\"", L"\"\"\"\" /s", L"/\"s\""));

// A second argument that doesn't convert leaves the handle at 0: the saver
// still runs as a top-level window, with no error box in its way.
TEST_F(StartupTest, SaverWithUnconvertibleHandleRunsTopLevel) {
    WriteIni(kQuietSaverIni);
    Process& p = Launch(L"/s 0x");
    HWND saver = WaitForWindow(p.Pid(), L"TForm2");
    ASSERT_NE(saver, nullptr);
    EXPECT_EQ(Describe(saver).style & WS_CHILD, 0);
    EXPECT_FALSE(HasMessageBox(p.Pid()));
    PostMessageW(saver, WM_CLOSE, 0, 0);
    ExpectCleanExit(p);
}

// A preview with no usable host window: whatever it does, it must not
// crash or stop on a box, and it ends with 0.
TEST_F(StartupTest, PreviewWithGarbageHandleNeitherCrashesNorShowsABox) {
    Process& p = Launch(L"/p garbage");
    HWND saver = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        saver = FindWindowOf(p.Pid(), L"TForm2");
        return saver != nullptr || !p.Running();
    }));
    EXPECT_FALSE(HasMessageBox(p.Pid()));
    EXPECT_EQ(FindWindowOf(p.Pid(), L"TForm1"), nullptr);
    if (saver)
        PostMessageW(saver, WM_CLOSE, 0, 0);
    ExpectCleanExit(p);
}

// A path with a blank written without quotes splits: a piece of the path
// becomes the first argument, so the dialog opens; the switch, now the
// second argument, is no number and is ignored.
TEST_F(StartupTest, UnquotedPathWithBlankOpensTheDialog) {
    std::wstring folder = dir->MakeDir(L"with blank");
    std::wstring program = folder + L"\\KsScrExec.scr";
    ASSERT_TRUE(CopyFileW(scr.c_str(), program.c_str(), FALSE));
    WriteBytes(folder + L"\\KsScrExec.ini", kQuietSaverIni);

    Process& p = LaunchRaw(program + L" /s", program);
    HWND form = WaitForWindow(p.Pid(), L"TForm1");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(FindWindowOf(p.Pid(), L"TForm2"), nullptr);
    EXPECT_FALSE(HasMessageBox(p.Pid()));
    PostMessageW(form, WM_CLOSE, 0, 0);
    ExpectCleanExit(p);
}

// --- A single instance -------------------------------------------------------

// Starts the program suspended, records every window its process creates or
// shows, and lets it run until it ends or done() holds.
struct Watched {
    Process* proc;
    std::vector<HWND> created, shown;
};

Watched RunWatched(Process& p, const std::function<bool()>& done) {
    WindowWatcher watcher(p.Pid());
    EXPECT_TRUE(watcher.Active()) << "no WinEvent hook";
    p.Resume();
    watcher.Pump(kTimeoutMs, p.Handle(), done);
    return {&p, watcher.Created(), watcher.Shown()};
}

TEST_F(StartupTest, SecondStartIsRefusedInEveryMode) {
    Process& first = Launch(L"", /*suspended=*/true);
    // The watcher must see the windows of an ordinary start, or its silence
    // about the second starts below would prove nothing.
    Watched control = RunWatched(first, [&] {
        return WaitForWindow(first.Pid(), L"TForm1", 0, /*mustBeVisible=*/true) != nullptr;
    });
    HWND form = WaitForWindow(first.Pid(), L"TForm1");
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(control.created.empty()) << "the window watcher saw nothing";

    for (const wchar_t* args : {L"", L"/s", L"/p 0", L"/c", L"/a", L"/S", L"/p 12345", L"/c:99"}) {
        SCOPED_TRACE(Narrow(std::wstring(L"second start with \"") + args + L"\""));
        Process& second = Launch(args, /*suspended=*/true);
        Watched w = RunWatched(second, [] { return false; });
        ExpectCleanExit(second, 5000); // Wine can be slow to start a process under load
        EXPECT_TRUE(w.created.empty()) << w.created.size() << " window(s) created";
        EXPECT_TRUE(w.shown.empty()) << w.shown.size() << " window(s) shown";
        EXPECT_FALSE(FileExists(ini));
        // The running instance is neither closed nor disturbed.
        EXPECT_TRUE(first.Running());
        EXPECT_TRUE(IsWindowVisible(form));
    }

    PostMessageW(form, WM_CLOSE, 0, 0);
    ExpectCleanExit(first);
    EXPECT_FALSE(FileExists(ini));
}

// The rotation window's instance refuses a second start too (its
// application window keeps the title while hidden).
TEST_F(StartupTest, SecondStartIsRefusedWhileTheSaverRuns) {
    WriteIni(kQuietSaverIni);
    Process& first = Launch(L"/s");
    HWND saver = WaitForWindow(first.Pid(), L"TForm2");
    ASSERT_NE(saver, nullptr);

    for (const wchar_t* args : {L"", L"/s"}) {
        SCOPED_TRACE(Narrow(std::wstring(L"second start with \"") + args + L"\""));
        Process& second = Launch(args);
        ExpectCleanExit(second, 5000);
        EXPECT_TRUE(first.Running());
    }
    PostMessageW(saver, WM_CLOSE, 0, 0);
    ExpectCleanExit(first);
}

} // namespace
} // namespace e2e
