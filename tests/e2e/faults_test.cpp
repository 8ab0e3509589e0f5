// Faults, end to end: children that crash or never quit, a settings file
// that changes under the running show, a save that the system refuses,
// and entries that cannot start once the rotation is under way. Every case
// ends with exit code 0 and leaves no process of its folder running,
// except the one child that the documented outcome leaves running, which
// the test then ends itself.
#include "soak_support.h"

namespace e2e {
namespace {

size_t CountOf(const std::vector<ChildEvent>& events, ChildEvent::Kind kind) {
    return EventsOf(events, kind).size();
}

class FaultTest : public ChildRunTest {
  protected:
    // The process of the first child started under this name, opened for
    // waiting and its exit code; null if it has gone already.
    HANDLE OpenChild(const std::string& name) {
        for (const auto& e : EventsOf(Events(), ChildEvent::Start))
            if (e.name == name)
                return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.pid);
        return nullptr;
    }
};

// --- Children that misbehave ---------------------------------------------------

// A crash before the child's minutes are up is an end that nobody asked
// for: the show ends at the next tick, as for a user's input, with the
// pointer back and nothing left behind.
TEST_F(FaultTest, CrashingChildEndsTheShowAtTheNextTick) {
    ASSERT_NO_FATAL_FAILURE(Child(L"C", L"Crashes"));
    ASSERT_NO_FATAL_FAILURE(Child(L"A"));
    HWND saver = nullptr;
    Process& p = StartSaver(IniText("5", "0", {"C.exe", "A.exe"}), saver);
    ASSERT_NE(saver, nullptr);
    ASSERT_TRUE(WaitForStarts(1, kTimeoutMs)) << LogText(log);
    HANDLE child = OpenChild("C");
    ASSERT_NE(child, nullptr) << "the child went before it could be watched";

    ASSERT_EQ(WaitForSingleObject(child, kTimeoutMs), static_cast<DWORD>(WAIT_OBJECT_0));
    const DWORD crashed = GetTickCount();
    DWORD code = 0;
    GetExitCodeProcess(child, &code);
    CloseHandle(child);
    EXPECT_EQ(code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)) << "no real crash";

    // A tick, then the close's 250 ms of message dispatch.
    const DWORD ended = ExpectEndsSoon(p, 5000);
    EXPECT_LT(ended - crashed, 2000u) << "the show ended " << ended - crashed
                                      << " ms after the crash";
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());
    EXPECT_EQ(StartedNames(Events()), std::vector<std::string>{"C"}) << LogText(log);
    ExpectNothingLeftRunning();
}

// A child that never quits is nudged on every tick and the rotation never
// moves on; a key still ends the show at once. The child is never
// terminated: it runs on after the show, no longer nudged, until it ends
// itself (here on its stop file).
TEST_F(FaultTest, ChildThatNeverQuitsIsNudgedOnEveryTickAndAKeyStillEndsTheShow) {
    ASSERT_NO_FATAL_FAILURE(Child(L"S", L"IgnoresNudges"));
    ASSERT_NO_FATAL_FAILURE(Child(L"A"));
    HWND saver = nullptr;
    Process& p = StartSaver(IniText("0", "0", {"S.exe", "A.exe"}), saver);
    ASSERT_NE(saver, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Events(), ChildEvent::Move) >= 1; }, kTimeoutMs))
        << LogText(log);
    HANDLE child = OpenChild("S");
    ASSERT_NE(child, nullptr);

    // New moves in every half second for 2.5 s: about one per 200 ms tick.
    size_t before = CountOf(Events(), ChildEvent::Move);
    const size_t first = before;
    for (int half = 1; half <= 5; ++half) {
        Sleep(500);
        size_t now = CountOf(Events(), ChildEvent::Move);
        EXPECT_GT(now, before) << "no nudge in half second " << half << "\n" << LogText(log);
        before = now;
    }
    EXPECT_GE(before - first, 7u) << "too few nudges in 2.5 s\n" << LogText(log);
    EXPECT_EQ(StartedNames(Events()), std::vector<std::string>{"S"}) << LogText(log);

    // A real key press, while the rotator spends its ticks nudging.
    ASSERT_TRUE(p.Running());
    SetForegroundWindow(saver);
    const DWORD pressed = GetTickCount();
    PressKey('K');
    const DWORD ended = ExpectEndsSoon(p, kTimeoutMs);
    EXPECT_LT(ended - pressed, 3000u) << "the show ended " << ended - pressed
                                      << " ms after the key";
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());

    // The child runs on, and nothing moves the pointer any more.
    Sleep(300);
    const size_t movesAtEnd = CountOf(Events(), ChildEvent::Move);
    EXPECT_EQ(WaitForSingleObject(child, 1000), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the child ended with the show\n" << LogText(log);
    EXPECT_EQ(CountOf(Events(), ChildEvent::Move), movesAtEnd) << LogText(log);
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());

    WriteBytes(dir->File(L"stop.flag"), "");
    EXPECT_EQ(WaitForSingleObject(child, 5000), static_cast<DWORD>(WAIT_OBJECT_0))
        << "the child ignored its stop file";
    CloseHandle(child);
    std::vector<ChildEvent> exits = EventsOf(Events(), ChildEvent::Exit);
    ASSERT_EQ(exits.size(), 1u) << LogText(log);
    EXPECT_EQ(exits[0].code, 0);
    ExpectNothingLeftRunning();
}

// --- The settings file under a running show --------------------------------------

struct ChangeCase {
    const char* name;
    // Changes the file while the show runs.
    void (*change)(const std::wstring& ini);
    // What a later start then runs first; empty: that start ends by itself,
    // its list being empty.
    const char* nextFirst;
};

void PrintTo(const ChangeCase& c, std::ostream* os) { *os << c.name; }

const ChangeCase kChanges[] = {
    {"Deleted", [](const std::wstring& ini) { DeleteFileW(ini.c_str()); }, ""},
    {"Rewritten",
     [](const std::wstring& ini) { WriteBytes(ini, IniText("0", "1", {"C.exe"})); }, "C"},
};

class FaultSettingsTest : public FaultTest, public ::testing::WithParamInterface<ChangeCase> {};

// The rotator reads its settings once, at its start: whatever happens to
// the file later shows only at the next start. It never writes the file.
TEST_P(FaultSettingsTest, ChangeShowsOnlyAtTheNextStart) {
    for (const wchar_t* name : {L"A", L"B", L"C"})
        ASSERT_NO_FATAL_FAILURE(Child(name));
    HWND saver = nullptr;
    Process& p = StartSaver(IniText("0", "0", {"A.exe", "B.exe"}), saver);
    ASSERT_NE(saver, nullptr);
    ASSERT_TRUE(WaitForStarts(1, kTimeoutMs)) << LogText(log);
    GetParam().change(ini);
    const std::string changed = ReadBytes(ini);

    ASSERT_TRUE(WaitForStarts(8, 30000)) << LogText(log);
    std::vector<std::string> names = StartedNames(Events());
    ASSERT_TRUE(p.Running());
    PostMessageW(saver, WM_CHAR, L'a', 0);
    ExpectEndsSoon(p, kTimeoutMs);
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());
    ExpectNothingLeftRunning();
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], i % 2 ? "B" : "A") << "start " << i << "\n" << LogText(log);
    EXPECT_EQ(ReadBytes(ini), changed) << "the rotator wrote its settings file";
    EXPECT_EQ(FileExists(ini), !changed.empty());

    // The next start follows the file as it is now.
    const size_t starts = StartedNames(Events()).size();
    ASSERT_TRUE(PlacePointer(kHome));
    Process& again = Launch(L"/s");
    saver = WaitForWindow(again.Pid(), L"TForm2");
    ASSERT_NE(saver, nullptr) << "no rotation window";
    const std::string next = GetParam().nextFirst;
    if (next.empty()) {
        ExpectEndsSoon(again, 5000);
        EXPECT_EQ(StartedNames(Events()).size(), starts) << LogText(log);
    } else {
        ASSERT_TRUE(WaitForStarts(starts + 1, kTimeoutMs)) << LogText(log);
        EXPECT_EQ(StartedNames(Events())[starts], next) << LogText(log);
        PostMessageW(saver, WM_CHAR, L'a', 0);
        ExpectEndsSoon(again, kTimeoutMs);
    }
    ExpectNothingLeftRunning();
}

INSTANTIATE_TEST_SUITE_P(Fault, FaultSettingsTest, ::testing::ValuesIn(kChanges),
                         [](const auto& info) { return std::string(info.param.name); });

// --- A save that the system refuses ------------------------------------------------

using FaultDialogTest = ScrTest;

// The error box itself, and the dialog keeping its values, are the dialog
// tests' concern. Here: nothing is lost, as a second "OK" once the file can
// be written saves what the user had set before the refusal.
TEST_F(FaultDialogTest, RefusedSaveLosesNothing) {
    ASSERT_TRUE(CreateDirectoryW(ini.c_str(), nullptr)); // refuses every write, even root's
    Process* p = nullptr;
    DialogView d = OpenDialog(p);
    ASSERT_TRUE(d.Complete());
    d.StepTo(42);
    d.ClickRadio(1);

    d.PostOk();
    HWND box = WaitForWindow(p->Pid(), L"#32770");
    ASSERT_NE(box, nullptr) << "no error box";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); })) << "the box did not go";
    ASSERT_TRUE(p->Running());

    ASSERT_TRUE(RemoveDirectoryW(ini.c_str()));
    d.PostOk();
    ExpectCleanExit(*p);
    EXPECT_EQ(IniValue(L"Interval"), L"42");
    EXPECT_EQ(IniValue(L"Mode"), L"1");
}

// --- Entries that cannot start, once the rotation runs -------------------------------

// The rotation tests start with each such entry in slot 0 (an empty value,
// an empty list among them; an empty value can't stand later, as the list
// ends at the first empty slot). Here the entry comes second: the first
// child runs and ends on its nudge, the planned end, and the failed launch
// after it still ends the show at the next tick.
struct LaterCase {
    const char* name;
    // Prepares the folder; returns the entry for slot 1.
    std::string (*entry)(const TempDir& dir);
};

void PrintTo(const LaterCase& c, std::ostream* os) { *os << c.name; }

const LaterCase kLaterCases[] = {
    {"MissingFile", [](const TempDir&) { return std::string("Missing.exe"); }},
    {"Directory",
     [](const TempDir& d) {
         d.MakeDir(L"sub");
         d.CopyIn(BinFile(L"WellBehaved.exe"), L"sub\\B.exe");
         return std::string("sub");
     }},
    {"TextFileNamedExe",
     [](const TempDir& d) {
         WriteBytes(d.File(L"notes.exe"), "just some text, not a program\r\n");
         return std::string("notes.exe");
     }},
    // Appended to the program's folder all the same, so even a program
    // that lies there isn't found.
    {"FullPath",
     [](const TempDir& d) { return Narrow(d.CopyIn(BinFile(L"WellBehaved.exe"), L"B.exe")); }},
    {"OverMaxPath", [](const TempDir&) { return std::string(2043, 'x') + ".exe"; }},
};

class FaultLaterEntryTest : public FaultTest, public ::testing::WithParamInterface<LaterCase> {};

TEST_P(FaultLaterEntryTest, EndsTheShowAtTheNextTick) {
    ASSERT_NO_FATAL_FAILURE(Child(L"A"));
    const std::string entry = GetParam().entry(*dir);
    HWND saver = nullptr;
    Process& p = StartSaver(IniText("0", "0", {"A.exe", entry}), saver);
    ASSERT_NE(saver, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Events(), ChildEvent::Exit) >= 1; }, kTimeoutMs))
        << LogText(log);
    const DWORD childEnded = GetTickCount();

    // A tick that tidies up, one that launches, one that finds nothing
    // running, then the close.
    const DWORD ended = ExpectEndsSoon(p, 5000);
    EXPECT_LT(ended - childEnded, 2500u)
        << "the show ended " << ended - childEnded << " ms after the first child";
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());
    std::vector<ChildEvent> events = Events();
    EXPECT_EQ(StartedNames(events), std::vector<std::string>{"A"}) << LogText(log);
    ASSERT_EQ(CountOf(events, ChildEvent::Exit), 1u) << LogText(log);
    EXPECT_EQ(EventsOf(events, ChildEvent::Exit)[0].code, 0);
    EXPECT_GE(CountOf(events, ChildEvent::Move), 1u) << "the first child was never nudged";
    ExpectNothingLeftRunning();
}

INSTANTIATE_TEST_SUITE_P(Fault, FaultLaterEntryTest, ::testing::ValuesIn(kLaterCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace e2e
