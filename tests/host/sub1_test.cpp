// The rotation window against the fake operating and window systems: the
// playlist, the child control, the scheduler's timeline and the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FakeOs.h"
#include "FakeWindowSystem.h"
#include "ScrnSave/ScrnSave.h"
#include "settings/settings.h"
#include "sub1/sub1.h"
#include "vcl/Forms.h"

namespace {

constexpr uint32_t kMinute = 60000;
constexpr uint32_t kLargestInterval = 0xFFFFFFFFu / kMinute; // 71582

class Rotation : public ::testing::Test {
  protected:
    FakeOs sys;
    FakeWindowSystem ws;
    TSaverMode savedMode = SaverMode;
    os::Handle savedParent = ParentWnd;
    os::Rect savedRect = PreviewRect;
    vcl::TApplication* app = nullptr;

    Rotation() {
        SaverMode = smSaver;
        ParentWnd = 0;
        PreviewRect = {};
        app = new vcl::TApplication(); // becomes vcl::Application until deleted
        Form2 = nullptr;
        // Time passes only while messages are dispatched (the close handler's
        // wait), so the scheduler's clock stays where a test puts it.
        ws.onDispatch = [this] { sys.tick += 50; };
        sys.cursor = {500, 400};
    }
    ~Rotation() override {
        delete app; // frees the rotation window it owns
        Form2 = nullptr;
        SaverMode = savedMode;
        ParentWnd = savedParent;
        PreviewRect = savedRect;
    }

    std::wstring Ini() const { return settings::SettingsPathFor(sys.modulePath); }
    void Setting(const std::wstring& key, const std::wstring& value) {
        sys.files[Ini()][L"KS_SCR"][key] = value;
    }
    void Slots(const std::vector<std::wstring>& names) {
        for (size_t i = 0; i < names.size(); ++i)
            if (!names[i].empty())
                sys.files[Ini()][L"SCRFiles"][L"No" + std::to_wstring(i)] = names[i];
    }
    void Interval(int64_t minutes) { Setting(L"Interval", std::to_wstring(minutes)); }

    TForm2* Create() {
        vcl::Application->CreateForm(Form2);
        return Form2;
    }
    // One timer tick at the given tick count.
    void TickAt(uint32_t tick) {
        sys.tick = tick;
        Form2->Timer1Timer(Form2->Timer1);
    }
    // Only the close handler stops the timer.
    bool Closed() const { return !Form2->Timer1->Enabled(); }
    os::Handle Child() const { return Form2->ChildProcess.hProcess; }
    size_t Nudges() const {
        return static_cast<size_t>(std::count_if(sys.waits.begin(), sys.waits.end(),
                                                 [](const auto& w) { return w.second == 100; }));
    }
};

// ---------------------------------------------------------------------------
// The generator

TEST(Random, SeedIsTheUtcTimeOfDayInMilliseconds) {
    FakeOs sys;
    sys.utc = {23, 59, 58, 999};
    SeedRandom();
    EXPECT_EQ(RandSeed, ((23u * 60 + 59) * 60 + 58) * 1000 + 999);
}

TEST(Random, LinearCongruentialHighHalf) {
    RandSeed = 0;
    EXPECT_EQ(RandomBelow(3), 0);
    EXPECT_EQ(RandSeed, 1u);
    EXPECT_EQ(RandomBelow(0x7FFFFFFF), 67387906); // 134775814 * (2^31 - 1) / 2^32
    EXPECT_EQ(RandSeed, 134775814u);
    RandSeed = 0xFFFFFFFFu; // next seed: -134775813 + 1 mod 2^32
    uint32_t next = 0xFFFFFFFFu * 134775813u + 1u;
    EXPECT_EQ(RandomBelow(1000), static_cast<int32_t>((uint64_t(next) * 1000) >> 32));
    // Always below n, for every n down to 1.
    RandSeed = 12345;
    for (int32_t n = 1; n < 500; ++n) {
        int32_t r = RandomBelow(n);
        EXPECT_GE(r, 0);
        EXPECT_LT(r, n);
    }
}

// ---------------------------------------------------------------------------
// The window's design and creation

TEST_F(Rotation, DesignBeforeCreation) {
    TForm2 f(nullptr);
    EXPECT_EQ(f.Caption(), L"KestraneScreenSaverExecuter");
    EXPECT_EQ(f.BorderStyle, vcl::bsNone);
    EXPECT_EQ(f.Color(), vcl::clWhite);
    EXPECT_EQ(f.Left(), 381);
    EXPECT_EQ(f.Top(), 107);
    EXPECT_EQ(f.ClientWidth(), 251);
    EXPECT_EQ(f.ClientHeight(), 71);
    EXPECT_FALSE(f.Scaled);
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(f.Font.Name, L"ＭＳ Ｐゴシック");
    EXPECT_EQ(f.Font.Height, -12);
    EXPECT_EQ(f.Font.Charset, vcl::SHIFTJIS_CHARSET_);
    EXPECT_EQ(f.Label1->Caption(), L"Kestraneスクリーンセーバー巡回起動ソフト");
    EXPECT_EQ(f.Label2->Caption(), L"Label2");
    EXPECT_EQ(f.Label3->Caption(), L"Label3");
    for (vcl::TLabel* l : {f.Label1, f.Label2, f.Label3}) {
        EXPECT_FALSE(l->Visible());
        EXPECT_EQ(l->Parent(), &f);
    }
    EXPECT_FALSE(f.Timer1->Enabled());
    EXPECT_EQ(f.Timer1->Interval(), 0u);
    EXPECT_TRUE(ws.timers.empty());
    EXPECT_FALSE(f.HandleAllocated());
    EXPECT_TRUE(sys.reads.empty()); // the settings are read at creation, not here
}

TEST_F(Rotation, CreationInSaverMode) {
    ws.screenWidth = 1280;
    ws.screenHeight = 1024;
    sys.cursor = {77, 66};
    sys.utc = {1, 2, 3, 4};
    Interval(-1);
    Setting(L"Mode", L"2");
    Slots({L"a.scr", L"b.scr"});
    TForm2* f = Create();

    EXPECT_EQ(vcl::Application->MainForm(), f);
    EXPECT_EQ(f->Left(), 0);
    EXPECT_EQ(f->Top(), 0);
    EXPECT_EQ(f->Width(), 1280);
    EXPECT_EQ(f->Height(), 1024);
    EXPECT_EQ(f->Color(), vcl::clWhite);
    EXPECT_EQ(RandSeed, ((1u * 60 + 2) * 60 + 3) * 1000 + 4);
    EXPECT_EQ(f->SavedCursor.x, 77);
    EXPECT_EQ(f->SavedCursor.y, 66);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(f->ShuffleOrder[i], i);
    EXPECT_EQ(f->ShufflePos, 31);
    // Both values taken unchecked; the interval keeps the 32-bit pattern.
    EXPECT_EQ(f->IntervalMinutes, 0xFFFFFFFFu);
    EXPECT_EQ(f->PlayMode, 2);
    EXPECT_EQ(f->SlotCount, 2);
    EXPECT_EQ(f->ChildStartup.cb, sizeof(void*) == 8 ? 104u : 68u);
    EXPECT_EQ(f->ChildStartup.dwFlags, 1u);
    EXPECT_EQ(f->ChildStartup.wShowWindow, 1u);
    EXPECT_EQ(f->ChildProcess.hProcess, 0u);
    EXPECT_EQ(f->RunningSlot, -1);
    EXPECT_EQ(f->CurrentSlot, -1);
    EXPECT_EQ(f->StartTick, 0u);
    EXPECT_TRUE(f->Timer1->Enabled());
    EXPECT_EQ(f->Timer1->Interval(), 200u);
    ASSERT_EQ(ws.timers.size(), 1u);
    EXPECT_EQ(ws.timers.begin()->second.ms, 200u);

    // Shown at once as a top-most pop-up covering the display.
    ASSERT_TRUE(f->HandleAllocated());
    const auto& w = ws.windows.at(f->Handle());
    EXPECT_TRUE(w.visible);
    EXPECT_EQ(w.params.Caption, L"KestraneScreenSaverExecuter");
    EXPECT_TRUE(w.params.Style & vcl::kWsPopup);
    EXPECT_FALSE(w.params.Style & vcl::kWsChild);
    EXPECT_TRUE(w.params.ExStyle & vcl::kWsExTopmost);
    EXPECT_EQ(w.params.X, 0);
    EXPECT_EQ(w.params.Y, 0);
    EXPECT_EQ(w.params.Width, 1280);
    EXPECT_EQ(w.params.Height, 1024);
    for (vcl::TLabel* l : {f->Label1, f->Label2, f->Label3})
        EXPECT_FALSE(l->Visible());
}

TEST_F(Rotation, UnreadablePointerIsSavedAsOrigin) {
    sys.cursorReadable = false;
    Create();
    EXPECT_EQ(Form2->SavedCursor.x, 0);
    EXPECT_EQ(Form2->SavedCursor.y, 0);
    Form2->Close();
    ASSERT_FALSE(sys.cursorMoves.empty());
    EXPECT_EQ(sys.cursorMoves.back().x, 0);
    EXPECT_EQ(sys.cursorMoves.back().y, 0);
}

struct ParamsCase {
    const char* name;
    TSaverMode mode;
    os::Handle parent;
    bool child;
};

class RotationParams : public Rotation, public ::testing::WithParamInterface<ParamsCase> {};

TEST_P(RotationParams, ChildOfParentWndElseTopmostPopup) {
    const ParamsCase& c = GetParam();
    SaverMode = c.mode;
    ParentWnd = c.parent;
    PreviewRect = c.mode == smPreview && c.parent ? os::Rect{10, 20, 162, 132} : os::Rect{};
    Create();
    const auto& p = ws.windows.at(Form2->Handle()).params;
    if (c.child) {
        EXPECT_EQ(p.WndParent, c.parent);
        EXPECT_TRUE(p.Style & vcl::kWsChild);
        EXPECT_FALSE(p.Style & vcl::kWsPopup);
        EXPECT_FALSE(p.ExStyle & vcl::kWsExTopmost);
    } else {
        EXPECT_TRUE(p.Style & vcl::kWsPopup);
        EXPECT_FALSE(p.Style & vcl::kWsChild);
        EXPECT_TRUE(p.ExStyle & vcl::kWsExTopmost);
    }
    // The size follows the mode, not the parent.
    if (c.mode == smSaver) {
        EXPECT_EQ(p.Width, ws.screenWidth);
        EXPECT_EQ(p.Height, ws.screenHeight);
        EXPECT_EQ(Form2->Color(), vcl::clWhite);
    } else {
        EXPECT_EQ(p.Width, PreviewRect.right - PreviewRect.left);
        EXPECT_EQ(p.Height, PreviewRect.bottom - PreviewRect.top);
        EXPECT_EQ(Form2->Color(), vcl::clBlack);
    }
    EXPECT_EQ(p.X, 0);
    EXPECT_EQ(p.Y, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, RotationParams,
    ::testing::Values(ParamsCase{"SaverAlone", smSaver, 0, false},
                      ParamsCase{"SaverWithHandle", smSaver, 0x4242, true},
                      ParamsCase{"PreviewInHost", smPreview, 0x777, true},
                      ParamsCase{"PreviewWithoutHost", smPreview, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Rotation, SysCommandScreenSaveIsRefusedExactly) {
    Create();
    intptr_t result = 0;
    EXPECT_TRUE(Form2->WmSysCommand(0xF140, result));
    EXPECT_EQ(result, 1);
    // Differs only in the low four bits: passed on to the default handling.
    for (uint32_t cmd : {0xF141u, 0xF14Fu, 0xF020u}) {
        result = 7;
        EXPECT_FALSE(Form2->WmSysCommand(cmd, result)) << cmd;
        EXPECT_EQ(result, 7);
    }
    EXPECT_TRUE(sys.launches.empty());
}

// ---------------------------------------------------------------------------
// Settings and playlist

TEST_F(Rotation, LoadSettingsReadsAllKeysSlotsDownward) {
    Slots({L"a.scr", L"b.scr", L"c.scr", L"", L"e.scr"});
    sys.files[Ini()][L"SCRFiles"][L"No32"] = L"x.scr";
    sys.files[Ini()][L"SCRFiles"][L"No05"] = L"y.scr";
    Create();
    std::vector<std::wstring> expected = {L"KS_SCR/Interval", L"KS_SCR/Mode"};
    for (int s = 31; s >= 0; --s)
        expected.push_back(L"SCRFiles/No" + std::to_wstring(s));
    EXPECT_EQ(sys.reads, expected);
    EXPECT_EQ(Form2->SlotCount, 3);
    EXPECT_EQ(Form2->SaverFiles[4], L"e.scr"); // read, but behind the gap
    EXPECT_TRUE(Form2->SaverFiles[5].empty());
    // No file: defaults, and no file made.
    EXPECT_EQ(Form2->IntervalMinutes, 1u);
    EXPECT_EQ(Form2->PlayMode, 0);
}

TEST_F(Rotation, NoSettingsFile) {
    sys.files.clear();
    Create();
    EXPECT_EQ(Form2->IntervalMinutes, 1u);
    EXPECT_EQ(Form2->PlayMode, 0);
    EXPECT_EQ(Form2->SlotCount, 0);
    EXPECT_TRUE(sys.files.empty());
    EXPECT_TRUE(sys.writes.empty());
}

struct OrderCase {
    const char* name;
    int slots;         // filled slots No0..No(slots-1)
    bool gapThenSlot4; // No3 empty, No4 filled
};

class PlayOrder : public Rotation, public ::testing::WithParamInterface<OrderCase> {
  protected:
    int32_t Expected() const { return GetParam().slots; }
    void Load(const wchar_t* mode) {
        std::vector<std::wstring> names;
        for (int i = 0; i < GetParam().slots; ++i)
            names.push_back(L"s" + std::to_wstring(i) + L".scr");
        if (GetParam().gapThenSlot4) {
            names.resize(5);
            names[4] = L"s4.scr";
        }
        Slots(names);
        Setting(L"Mode", mode);
        Create();
    }
};

TEST_P(PlayOrder, InTurnCyclesTheLeadingRun) {
    Load(L"0");
    int32_t n = Expected();
    EXPECT_EQ(Form2->SlotCount, n);
    for (int i = 0; i < 3 * std::max(n, 1); ++i) {
        int32_t s = Form2->NextSlot();
        EXPECT_EQ(s, n ? i % n : 0) << "choice " << i;
        EXPECT_EQ(Form2->CurrentSlot, s);
    }
}

TEST_P(PlayOrder, ShuffledCyclesArePermutationsOfTheLeadingRun) {
    Load(L"1");
    int32_t n = Expected();
    for (int cycle = 0; cycle < 5; ++cycle) {
        std::set<int32_t> seen;
        for (int i = 0; i < std::max(n, 1); ++i) {
            int32_t s = Form2->NextSlot();
            EXPECT_EQ(Form2->CurrentSlot, s);
            EXPECT_GE(s, 0);
            EXPECT_LT(s, std::max(n, 1));
            seen.insert(s);
        }
        EXPECT_EQ(static_cast<int32_t>(seen.size()), std::max(n, 1)) << "cycle " << cycle;
        // The entries past the list keep their places.
        for (int i = n; i < 32; ++i)
            EXPECT_EQ(Form2->ShuffleOrder[i], i);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, PlayOrder,
                         ::testing::Values(OrderCase{"Empty", 0, false},
                                           OrderCase{"OneSlot", 1, false},
                                           OrderCase{"GapAfterThree", 3, true},
                                           OrderCase{"AllThirtyTwo", 32, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Rotation, ShuffleFromSeedZero) {
    struct {
        int slots;
        std::vector<int32_t> firstCycle;
    } cases[] = {{3, {1, 2, 0}}, {2, {1, 0}}};
    for (const auto& c : cases) {
        sys.files.clear();
        std::vector<std::wstring> names(c.slots, L"x.scr");
        Slots(names);
        Setting(L"Mode", L"1");
        delete Form2;
        Create();
        RandSeed = 0;
        std::vector<int32_t> got;
        for (int i = 0; i < c.slots; ++i)
            got.push_back(Form2->NextSlot());
        EXPECT_EQ(got, c.firstCycle);
        // n draws for n slots.
        uint32_t seed = 0;
        for (int i = 0; i < c.slots; ++i)
            seed = seed * 134775813u + 1u;
        EXPECT_EQ(RandSeed, seed);
    }
}

TEST_F(Rotation, OneSlotShuffledReshufflesEveryChoiceWithOneDraw) {
    Slots({L"only.scr"});
    Setting(L"Mode", L"1");
    Create();
    RandSeed = 0;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Form2->NextSlot(), 0);
    EXPECT_EQ(RandSeed, (1u * 134775813u + 1u) * 134775813u + 1u);
}

TEST_F(Rotation, OtherPlayOrdersStillNameASlot) {
    // Above 1 plays shuffled, below 0 in turn.
    for (std::wstring mode : {L"2", L"-1", L"-2147483648"}) {
        sys.files.clear();
        Slots({L"a.scr", L"b.scr", L"c.scr"});
        Setting(L"Mode", mode);
        delete Form2;
        Create();
        RandSeed = 0;
        std::vector<int32_t> got;
        for (int i = 0; i < 4; ++i)
            got.push_back(Form2->NextSlot());
        std::vector<int32_t> expected = mode == L"2" ? std::vector<int32_t>{1, 2, 0, got[3]}
                                                     : std::vector<int32_t>{0, 1, 2, 0};
        EXPECT_EQ(got, expected) << "Mode " << std::string(mode.begin(), mode.end());
    }
}

// ---------------------------------------------------------------------------
// Child control

TEST_F(Rotation, LaunchStartsFromTheProgramFolderWithSlashS) {
    Slots({L"a.scr", L"sub\\b.scr"});
    Create();
    Form2->LaunchSlot(1);
    ASSERT_EQ(sys.launches.size(), 1u);
    const auto& l = sys.launches[0];
    EXPECT_EQ(l.application, L"C:\\Savers\\sub\\b.scr");
    EXPECT_EQ(l.commandLine, L" /S");
    EXPECT_EQ(l.flags, 0x20u);
    EXPECT_EQ(l.startup.cb, Form2->ChildStartup.cb);
    EXPECT_EQ(l.startup.dwFlags, 1u);
    EXPECT_EQ(l.startup.wShowWindow, 1u);
    EXPECT_EQ(Child(), l.process);
    EXPECT_NE(Child(), 0u);
    // The thread handle is closed at once; only the process handle is held.
    EXPECT_EQ(Form2->ChildProcess.hThread, 0u);
    EXPECT_EQ(sys.closed, std::vector<os::Handle>{l.process + 1});
    EXPECT_EQ(sys.OpenHandles(), 1u);
    EXPECT_TRUE(sys.IsOpen(l.process));
}

TEST_F(Rotation, LaunchFolderEndsAtTheLastBackslashOrColon) {
    struct {
        std::wstring module, entry, path;
    } cases[] = {
        {L"C:\\Savers\\KsScrExec.scr", L"", L"C:\\Savers\\"},
        {L"C:\\a.b\\c\\KsScrExec", L"x.scr", L"C:\\a.b\\c\\x.scr"},
        {L"C:KsScrExec.scr", L"x.scr", L"C:x.scr"},
        {L"KsScrExec.scr", L"x.scr", L"x.scr"},
        // An entry is appended untouched, a full path included.
        {L"C:\\S\\K.scr", L" D:\\y.scr ", L"C:\\S\\ D:\\y.scr "},
        {L"C:\\S\\K.scr", L"..\\up.scr", L"C:\\S\\..\\up.scr"},
        // Wide characters never hide a backslash inside a double-byte pair.
        {L"C:\\表示\\ソフト.scr", L"x.scr", L"C:\\表示\\x.scr"},
    };
    Create();
    for (const auto& c : cases) {
        sys.modulePath = c.module;
        Form2->SaverFiles[0] = c.entry;
        Form2->ChildProcess = {};
        Form2->LaunchSlot(0);
        EXPECT_EQ(sys.launches.back().application, c.path);
    }
}

TEST_F(Rotation, FailedLaunchHoldsNoChild) {
    Slots({L"missing.scr"});
    sys.canStart = [](const std::wstring&) { return false; };
    Create();
    Form2->LaunchSlot(0);
    EXPECT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Child(), 0u);
    EXPECT_EQ(Form2->ChildProcess.hThread, 0u);
    EXPECT_TRUE(sys.closed.empty());
    EXPECT_TRUE(Form2->ChildFinished());
}

TEST_F(Rotation, ChildFinishedByExitCode) {
    Slots({L"a.scr"});
    Create();
    EXPECT_TRUE(Form2->ChildFinished());
    EXPECT_EQ(sys.exitCodeReads, 0); // no child: Windows is not asked
    Form2->LaunchSlot(0);
    os::Handle h = Child();
    EXPECT_FALSE(Form2->ChildFinished());
    sys.EndProcess(h, 259); // looks like STILL_ACTIVE: still running
    EXPECT_FALSE(Form2->ChildFinished());
    sys.EndProcess(h, 0);
    EXPECT_TRUE(Form2->ChildFinished());
    sys.EndProcess(h, 258);
    EXPECT_TRUE(Form2->ChildFinished());
    sys.EndProcess(h, os::kStillActive);
    sys.exitCodeFails = true; // an unreadable exit code counts as an end
    EXPECT_TRUE(Form2->ChildFinished());
    EXPECT_EQ(sys.closed.size(), 1u); // only the thread handle, nothing else
}

TEST_F(Rotation, NudgeDrawsYThenXAndWaitsForTheChild) {
    Slots({L"a.scr"});
    Create();
    Form2->LaunchSlot(0);
    RandSeed = 0;
    Form2->NudgeChild();
    ASSERT_EQ(sys.cursorMoves.size(), 1u);
    EXPECT_EQ(sys.cursorMoves[0].x, 10);
    EXPECT_EQ(sys.cursorMoves[0].y, 0);
    ASSERT_EQ(sys.waits.size(), 1u);
    EXPECT_EQ(sys.waits[0].first, Child());
    EXPECT_EQ(sys.waits[0].second, 100u);
    for (int i = 0; i < 200; ++i)
        Form2->NudgeChild();
    for (const auto& p : sys.cursorMoves) {
        EXPECT_GE(p.x, 0);
        EXPECT_LT(p.x, 320);
        EXPECT_GE(p.y, 0);
        EXPECT_LT(p.y, 240);
    }
    EXPECT_TRUE(sys.IsOpen(Child())); // a nudge never ends the child itself
}

// ---------------------------------------------------------------------------
// Scheduler

TEST_F(Rotation, FirstLaunchWaitsForTheTickCount) {
    Interval(2);
    Slots({L"a.scr", L"b.scr"});
    Create();
    TickAt(90000); // a minute and a half since the system started
    TickAt(119999);
    EXPECT_TRUE(sys.launches.empty());
    EXPECT_EQ(Form2->RunningSlot, -1);
    sys.tickStep = 7; // the start tick is read anew after the launch
    TickAt(120000);
    ASSERT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Form2->RunningSlot, 0);
    EXPECT_EQ(Form2->StartTick, 120007u);
    EXPECT_EQ(Form2->Label2->Caption(), L"a.scr");
    EXPECT_EQ(Form2->Label3->Caption(),
              L"SCRNum:0 hProc:" + std::to_wstring(static_cast<uint32_t>(Child())));
}

TEST_F(Rotation, LongRunningSystemLaunchesAtTheFirstTick) {
    Interval(2);
    Slots({L"a.scr"});
    Create();
    TickAt(5 * 3600 * 1000);
    EXPECT_EQ(sys.launches.size(), 1u);
}

TEST_F(Rotation, ChildRunsItsMinutesThenIsNudgedUntilItQuitsThenTheNextStarts) {
    const uint32_t t = 10 * kMinute;
    Interval(5);
    Slots({L"a.scr", L"b.scr"});
    Create();
    TickAt(t);
    os::Handle first = Child();
    ASSERT_NE(first, 0u);
    for (uint32_t at = t + 200; at < t + 5 * kMinute; at += 200) {
        sys.tick = at;
        Form2->Timer1Timer(nullptr);
    }
    EXPECT_EQ(Nudges(), 0u);
    EXPECT_EQ(Form2->RunningSlot, 0);

    TickAt(t + 5 * kMinute); // its minutes are up: one nudge, now stopping
    EXPECT_EQ(Nudges(), 1u);
    EXPECT_EQ(Form2->RunningSlot, -2);
    TickAt(t + 5 * kMinute + 200); // still running: nudged again, new point
    EXPECT_EQ(Nudges(), 2u);
    EXPECT_EQ(sys.launches.size(), 1u);

    sys.EndProcess(first, 0);
    TickAt(t + 5 * kMinute + 400); // exit found: handle closed, idle, no launch
    EXPECT_EQ(Form2->RunningSlot, -1);
    EXPECT_EQ(Child(), 0u);
    EXPECT_FALSE(sys.IsOpen(first));
    EXPECT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Nudges(), 2u);

    TickAt(t + 5 * kMinute + 600); // the next tick starts the next slot
    ASSERT_EQ(sys.launches.size(), 2u);
    EXPECT_EQ(sys.launches[1].application, L"C:\\Savers\\b.scr");
    EXPECT_EQ(Form2->RunningSlot, 1);
    EXPECT_EQ(Form2->Label2->Caption(), L"b.scr");
    EXPECT_EQ(Form2->StartTick, t + 5 * kMinute + 600);
    EXPECT_FALSE(Closed());
    EXPECT_EQ(sys.badCloses, 0);
}

TEST_F(Rotation, ChildThatQuitsDuringTheNudgeWaitIsTidiedThenReplaced) {
    Interval(1);
    Slots({L"a.scr"});
    Create();
    TickAt(kMinute);
    os::Handle h = Child();
    sys.onWait = [&](os::Handle w, uint32_t) { sys.EndProcess(w, 0); };
    TickAt(2 * kMinute);
    EXPECT_EQ(Form2->RunningSlot, -2);
    TickAt(2 * kMinute + 200);
    EXPECT_EQ(Form2->RunningSlot, -1);
    EXPECT_FALSE(sys.IsOpen(h));
    EXPECT_EQ(Nudges(), 1u);
    TickAt(2 * kMinute + 400);
    EXPECT_EQ(sys.launches.size(), 2u);
    EXPECT_EQ(Form2->RunningSlot, 0);
    EXPECT_FALSE(Closed());
}

TEST_F(Rotation, ChildEndedByTheUserClosesTheShow) {
    Interval(5);
    Slots({L"a.scr", L"b.scr"});
    sys.cursor = {321, 123};
    Create();
    TickAt(10 * kMinute);
    os::Handle h = Child();
    ASSERT_NE(h, 0u);
    sys.EndProcess(h, 0);
    TickAt(13 * kMinute); // three minutes into its five
    EXPECT_TRUE(Closed());
    ASSERT_EQ(sys.cursorMoves.size(), 1u);
    EXPECT_EQ(sys.cursorMoves[0].x, 321);
    EXPECT_EQ(sys.cursorMoves[0].y, 123);
    EXPECT_FALSE(sys.IsOpen(h));
    EXPECT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Nudges(), 0u);
}

TEST_F(Rotation, ExitFoundWhenItsMinutesRunOutCountsAsTheUsers) {
    Interval(1);
    Slots({L"a.scr", L"b.scr"});
    Create();
    TickAt(kMinute);
    sys.EndProcess(Child(), 0);
    TickAt(2 * kMinute);
    EXPECT_TRUE(Closed());
    EXPECT_EQ(Nudges(), 0u);
    EXPECT_EQ(sys.launches.size(), 1u);
}

TEST_F(Rotation, UnreadableExitCodeEndsTheShowInsteadOfHanging) {
    Interval(1);
    Slots({L"a.scr"});
    Create();
    TickAt(kMinute);
    sys.exitCodeFails = true;
    TickAt(kMinute + 200);
    EXPECT_TRUE(Closed());
}

TEST_F(Rotation, FailedLaunchEndsTheShowAtTheNextTick) {
    Interval(1);
    Slots({L"missing.scr"});
    sys.canStart = [](const std::wstring&) { return false; };
    Create();
    TickAt(kMinute);
    EXPECT_EQ(Form2->Label3->Caption(), L"SCRNum:0 hProc:0");
    EXPECT_EQ(Form2->Label2->Caption(), L"missing.scr");
    EXPECT_EQ(Form2->RunningSlot, 0);
    EXPECT_EQ(Form2->StartTick, kMinute);
    EXPECT_FALSE(Closed());
    TickAt(kMinute + 200);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(sys.closed.empty());
    EXPECT_EQ(sys.badCloses, 0);
}

TEST_F(Rotation, EmptyListLaunchesTheFolderAndEndsTheShow) {
    Interval(1);
    sys.canStart = [](const std::wstring& app) { return app.back() != L'\\'; };
    Create();
    TickAt(kMinute);
    ASSERT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(sys.launches[0].application, L"C:\\Savers\\");
    EXPECT_EQ(Form2->Label3->Caption(), L"SCRNum:0 hProc:0");
    EXPECT_EQ(Form2->Label2->Caption(), L"");
    TickAt(kMinute + 200);
    EXPECT_TRUE(Closed());
}

TEST_F(Rotation, IntervalZeroNudgesOnTheTickAfterTheLaunch) {
    Interval(0);
    Slots({L"a.scr", L"b.scr"});
    Create();
    TickAt(0);
    EXPECT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Nudges(), 0u);
    TickAt(200);
    EXPECT_EQ(Nudges(), 1u);
    EXPECT_EQ(Form2->RunningSlot, -2);
    sys.EndProcess(sys.LastProcess(), 0);
    TickAt(400);
    TickAt(600);
    EXPECT_EQ(sys.launches.size(), 2u);
    EXPECT_EQ(Form2->RunningSlot, 1);
}

TEST_F(Rotation, IntervalLimits) {
    struct {
        int64_t setting;
        uint32_t tick;
        bool launches;
    } cases[] = {
        {kLargestInterval, kLargestInterval * kMinute - 1, false},
        {kLargestInterval, kLargestInterval * kMinute, true},
        {kLargestInterval, 0xFFFFFFFFu, true},
        {kLargestInterval + 1, 0xFFFFFFFFu, false},
        {-1, 0xFFFFFFFFu, false},
        {-2147483648LL, 0xFFFFFFFFu, false},
        {0x7FFFFFFF, 0xFFFFFFFFu, false},
    };
    for (const auto& c : cases) {
        sys.files.clear();
        sys.launches.clear();
        Interval(c.setting);
        Slots({L"a.scr"});
        delete Form2;
        Create();
        TickAt(c.tick);
        EXPECT_EQ(!sys.launches.empty(), c.launches) << c.setting << " at " << c.tick;
    }
}

TEST_F(Rotation, LargestIntervalStillStopsAChildBeforeTheDifferenceWraps) {
    Interval(kLargestInterval);
    Slots({L"a.scr"});
    Create();
    TickAt(0xFFFFFFFFu); // first launch; its start tick is just before the wrap
    ASSERT_EQ(sys.launches.size(), 1u);
    const uint32_t start = Form2->StartTick;
    TickAt(start + kLargestInterval * kMinute - 1);
    EXPECT_EQ(Nudges(), 0u);
    TickAt(start + kLargestInterval * kMinute);
    EXPECT_EQ(Nudges(), 1u);
}

TEST_F(Rotation, ElapsedTimeSurvivesTheWrapOfTheTickCount) {
    Interval(1);
    Slots({L"a.scr"});
    Create();
    const uint32_t tenSecondsBeforeWrap = 0u - 10000u;
    TickAt(tenSecondsBeforeWrap);
    ASSERT_EQ(Form2->StartTick, tenSecondsBeforeWrap);
    TickAt(49999); // 59.999 s after the launch
    EXPECT_EQ(Nudges(), 0u);
    EXPECT_EQ(Form2->RunningSlot, 0);
    TickAt(50000); // exactly one minute
    EXPECT_EQ(Nudges(), 1u);
    EXPECT_EQ(Form2->RunningSlot, -2);
}

TEST_F(Rotation, ChildReportingExitCode259IsNudgedOnAndNeverReplaced) {
    Interval(0);
    Slots({L"stubborn.scr", L"b.scr"});
    Create();
    TickAt(0);
    sys.EndProcess(Child(), 259);
    for (uint32_t i = 1; i <= 20; ++i)
        TickAt(i * 200);
    EXPECT_EQ(Nudges(), 20u);
    EXPECT_EQ(sys.launches.size(), 1u);
    EXPECT_EQ(Form2->RunningSlot, -2);
    std::set<std::pair<int32_t, int32_t>> points;
    for (const auto& p : sys.cursorMoves)
        points.insert({p.x, p.y});
    EXPECT_GT(points.size(), 10u); // a new point each time
    EXPECT_FALSE(Closed());
}

TEST_F(Rotation, RotationInTurnAndShuffledOverManyChildren) {
    for (const wchar_t* mode : {L"0", L"1"}) {
        sys.files.clear();
        sys.launches.clear();
        Interval(0);
        Setting(L"Mode", mode);
        Slots({L"s0.scr", L"s1.scr", L"s2.scr"});
        delete Form2;
        Create();
        sys.onWait = [&](os::Handle w, uint32_t) { sys.EndProcess(w, 0); };
        // Each child: launch, nudge, tidy.
        for (uint32_t i = 0; i < 3 * 6; ++i)
            TickAt(i * 200);
        ASSERT_EQ(sys.launches.size(), 6u);
        std::vector<std::wstring> names;
        for (const auto& l : sys.launches)
            names.push_back(l.application.substr(l.application.size() - 6));
        if (std::wstring(mode) == L"0") {
            EXPECT_EQ(names, (std::vector<std::wstring>{L"s0.scr", L"s1.scr", L"s2.scr",
                                                        L"s0.scr", L"s1.scr", L"s2.scr"}));
        } else {
            for (int cycle = 0; cycle < 2; ++cycle)
                EXPECT_EQ(std::set<std::wstring>(names.begin() + 3 * cycle,
                                                 names.begin() + 3 * cycle + 3)
                              .size(),
                          3u);
        }
        EXPECT_EQ(sys.OpenHandles(), 0u); // every child's handles closed
        EXPECT_EQ(sys.badCloses, 0);
    }
}

// ---------------------------------------------------------------------------
// Input and closing

TEST_F(Rotation, CloseRestoresThePointerAndLeavesTheChildRunning) {
    Interval(0);
    Slots({L"a.scr"});
    sys.cursor = {640, 480};
    Create();
    TickAt(0);
    TickAt(200); // nudged away
    os::Handle h = Child();
    os::Handle appWnd = vcl::Application->Handle();
    int passesBefore = ws.dispatchPasses;
    uint32_t tickBefore = sys.tick;
    Form2->Close();

    ASSERT_FALSE(sys.cursorMoves.empty());
    EXPECT_EQ(sys.cursorMoves.back().x, 640);
    EXPECT_EQ(sys.cursorMoves.back().y, 480);
    EXPECT_FALSE(Form2->Timer1->Enabled());
    EXPECT_TRUE(ws.timers.empty());
    EXPECT_FALSE(sys.IsOpen(h));
    EXPECT_FALSE(Form2->Visible());
    EXPECT_FALSE(ws.windows.at(Form2->Handle()).visible);
    ASSERT_FALSE(ws.shows.empty());
    EXPECT_TRUE(std::find(ws.shows.begin(), ws.shows.end(),
                          std::make_pair(appWnd, vcl::kSwShow)) != ws.shows.end());
    // The 250 ms wait dispatched messages until more than 250 ms had passed.
    EXPECT_GT(ws.dispatchPasses, passesBefore);
    EXPECT_GT(sys.tick - tickBefore, 250u);
    vcl::Application->ProcessMessages();
    EXPECT_TRUE(vcl::Application->Terminated());
}

TEST_F(Rotation, RepeatedCloseClosesTheHandleOnce) {
    Interval(0);
    Slots({L"a.scr"});
    Create();
    TickAt(0);
    os::Handle h = Child();
    // A key press already queued runs a second close during the wait.
    ws.queue.push_back([] {
        wchar_t key = L'x';
        Form2->WmChar(key);
    });
    size_t movesBefore = sys.cursorMoves.size();
    Form2->Close();
    Form2->Close();
    EXPECT_TRUE(ws.queue.empty());
    EXPECT_EQ(std::count(sys.closed.begin(), sys.closed.end(), h), 1);
    EXPECT_EQ(sys.badCloses, 0);
    EXPECT_EQ(sys.cursorMoves.size(), movesBefore + 1);
}

TEST_F(Rotation, CharacterKeysAndMouseButtonsCloseMovesDoNot) {
    struct Input {
        const char* name;
        bool closes;
        std::function<void()> send;
    };
    std::vector<Input> inputs = {
        {"move", false, [] { Form2->WmMouseMove(0, 5, 5); }},
        {"char", true, [] { wchar_t k = L'a'; Form2->WmChar(k); }},
        {"enter", true, [] { wchar_t k = L'\r'; Form2->WmChar(k); }},
        {"left", true, [] { Form2->WmMouseDown(vcl::mbLeft, 0, 1, 1); }},
        {"right", true, [] { Form2->WmMouseDown(vcl::mbRight, 0, 1, 1); }},
        {"middle", true, [] { Form2->WmMouseDown(vcl::mbMiddle, 0, 1, 1); }},
    };
    for (const auto& in : inputs) {
        delete Form2;
        sys.cursorMoves.clear();
        Create();
        in.send();
        EXPECT_EQ(Closed(), in.closes) << in.name;
    }
}

TEST_F(Rotation, KeyPressLeavesTheKeyUnchanged) {
    Create();
    wchar_t key = L'q';
    Form2->FormKeyPress(Form2, key);
    EXPECT_EQ(key, L'q');
}

// ---------------------------------------------------------------------------
// Preview

class Preview : public Rotation {
  protected:
    Preview() {
        SaverMode = smPreview;
        ParentWnd = 0x777;
        PreviewRect = {100, 100, 252, 212};
    }
};

TEST_F(Preview, TicksKeysAndButtonsDoNothing) {
    Interval(0);
    Slots({L"a.scr"});
    Create();
    EXPECT_EQ(Form2->Width(), 152);
    EXPECT_EQ(Form2->Height(), 112);
    EXPECT_EQ(Form2->Color(), vcl::clBlack);
    EXPECT_EQ(Form2->SlotCount, 1); // loaded all the same
    for (uint32_t t : {0u, 200u, 10 * kMinute, 0xFFFFFFFFu})
        TickAt(t);
    ws.FireTimers();
    wchar_t k = L'a';
    Form2->WmChar(k);
    Form2->WmMouseDown(vcl::mbLeft, 0, 1, 1);
    Form2->WmMouseMove(0, 3, 3);
    EXPECT_TRUE(sys.launches.empty());
    EXPECT_TRUE(sys.cursorMoves.empty());
    EXPECT_EQ(Form2->RunningSlot, -1);
    EXPECT_TRUE(Form2->Timer1->Enabled());
    vcl::Application->ProcessMessages();
    EXPECT_FALSE(vcl::Application->Terminated());
}

TEST_F(Preview, CloseFromOutsideRestoresNothing) {
    Create();
    os::Handle appWnd = vcl::Application->Handle();
    size_t shows = std::count_if(ws.shows.begin(), ws.shows.end(),
                                 [&](const auto& s) { return s.first == appWnd; });
    Form2->WmClose();
    EXPECT_TRUE(sys.cursorMoves.empty());
    EXPECT_TRUE(sys.closed.empty());
    EXPECT_EQ(static_cast<size_t>(std::count_if(ws.shows.begin(), ws.shows.end(),
                                                [&](const auto& s) { return s.first == appWnd; })),
              shows);
    vcl::Application->ProcessMessages();
    EXPECT_TRUE(vcl::Application->Terminated()); // the program ends all the same
}

TEST_F(Preview, HostDestroyingTheWindowEndsTheProcess) {
    Create();
    ws.DestroyWindow(Form2->Handle()); // goes with the host's window
    EXPECT_FALSE(Form2->HandleAllocated());
    vcl::Application->ProcessMessages();
    EXPECT_TRUE(vcl::Application->Terminated());
}

TEST_F(Rotation, OwnDestructionEndsNothingAndSaverWindowLossIsNoPreviewEnd) {
    Create();
    delete Form2;
    Form2 = nullptr;
    vcl::Application->ProcessMessages();
    EXPECT_FALSE(vcl::Application->Terminated());
    Create();
    ws.DestroyWindow(Form2->Handle());
    vcl::Application->ProcessMessages();
    EXPECT_FALSE(vcl::Application->Terminated());
}

TEST_F(Preview, OwnDestructionDoesNotTerminate) {
    Create();
    delete Form2;
    Form2 = nullptr;
    vcl::Application->ProcessMessages();
    EXPECT_FALSE(vcl::Application->Terminated());
}

} // namespace
