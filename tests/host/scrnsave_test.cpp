#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeOs.h"
#include "FakeWindowSystem.h"
#include "ScrnSave/ScrnSave.h"
#include "vcl/Forms.h"

namespace {

TEST(ModeFromSwitch, SixteenExactSwitches) {
    struct {
        const wchar_t* arg;
        TSaverMode mode;
    } cases[] = {
        {L"/s", smSaver},    {L"/S", smSaver},    {L"-s", smSaver},    {L"-S", smSaver},
        {L"/p", smPreview},  {L"/P", smPreview},  {L"-p", smPreview},  {L"-P", smPreview},
        {L"/l", smPreview},  {L"/L", smPreview},  {L"-l", smPreview},  {L"-L", smPreview},
        {L"/a", smPassword}, {L"/A", smPassword}, {L"-a", smPassword}, {L"-A", smPassword},
        // Anything else asks for the settings.
        {L"", smConfig},     {L"/c", smConfig},   {L"/c:1234", smConfig}, {L"/s ", smConfig},
        {L" /s", smConfig},  {L"/s:1", smConfig}, {L"/ss", smConfig},  {L"//s", smConfig},
        {L"\\s", smConfig},  {L"s", smConfig},    {L"/", smConfig},    {L"/x", smConfig},
        {L"/\uFF53", smConfig}, // full-width s
        {L"\uFF0Fs", smConfig}, // full-width slash
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModeFromSwitch(c.arg), c.mode) << testing::PrintToString(std::wstring(c.arg));
}

struct ModeCase {
    const wchar_t* line;
    TSaverMode mode;
    os::Handle parent;
};

const os::Rect kHostRect{100, 200, 252, 312};

class DecideModeTest : public ::testing::TestWithParam<ModeCase> {
  protected:
    void SetUp() override {
        // Windows that exist: a preview host at several numbers.
        for (os::Handle h : {os::Handle{0x1F}, os::Handle{16}, os::Handle{12}, os::Handle{1234}})
            fake.windowRects[h] = kHostRect;
        // Leftovers of an earlier decision must not survive.
        SaverMode = smPassword;
        ParentWnd = 0xDEAD;
        PreviewRect = os::Rect{1, 2, 3, 4};
        PrevInstanceWnd = 0xBEEF;
    }
    FakeOs fake;
};

TEST_P(DecideModeTest, FillsTheGlobals) {
    const ModeCase& c = GetParam();
    fake.commandLine = c.line;
    DecideMode();
    EXPECT_EQ(SaverMode, c.mode);
    EXPECT_EQ(ParentWnd, c.parent);
    os::Rect expected{};
    if (c.mode == smPreview && fake.windowRects.count(c.parent))
        expected = kHostRect;
    EXPECT_EQ(PreviewRect.left, expected.left);
    EXPECT_EQ(PreviewRect.top, expected.top);
    EXPECT_EQ(PreviewRect.right, expected.right);
    EXPECT_EQ(PreviewRect.bottom, expected.bottom);
    EXPECT_EQ(PrevInstanceWnd, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DecideModeTest,
    ::testing::Values(
        ModeCase{L"KsScrExec.scr", smConfig, 0},
        ModeCase{L"KsScrExec.scr /s", smSaver, 0},
        ModeCase{L"KsScrExec.scr -S", smSaver, 0},
        // A second argument counts in every mode; the rectangle only in a preview.
        ModeCase{L"KsScrExec.scr /S 1234", smSaver, 1234},
        ModeCase{L"KsScrExec.scr /c 1234", smConfig, 1234},
        ModeCase{L"KsScrExec.scr /p 0x1F", smPreview, 0x1F},
        ModeCase{L"KsScrExec.scr /l $10", smPreview, 16},
        ModeCase{L"KsScrExec.scr -P +12", smPreview, 12},
        ModeCase{L"KsScrExec.scr /p 1234 extra", smPreview, 1234},
        // A preview without a usable host keeps its mode, the rectangle stays 0.
        ModeCase{L"KsScrExec.scr /p", smPreview, 0},
        ModeCase{L"KsScrExec.scr /p 999", smPreview, 999},
        ModeCase{L"KsScrExec.scr /a", smPassword, 0},
        ModeCase{L"KsScrExec.scr /c:1234", smConfig, 0},
        ModeCase{L"KsScrExec.scr \"/s\"", smSaver, 0},
        ModeCase{L"KsScrExec.scr \"\" /s", smSaver, 0},
        ModeCase{L"\"C:\\Program Files\\KsScrExec.scr\" /p 12", smPreview, 12},
        // The unquoted path falls apart: "C:\Program" is the program, "Files\..."
        // the switch, "/s" a second argument that is no number.
        ModeCase{L"C:\\Program Files\\KsScrExec.scr /s", smConfig, 0},
        ModeCase{L"KsScrExec.scr /s garbage", smSaver, 0},
        ModeCase{L"KsScrExec.scr /s 12px", smSaver, 0},
        ModeCase{L"KsScrExec.scr /s \"\"", smSaver, 0},
        // A handle is 32 bits wide, sign-extended like Windows does.
        ModeCase{L"KsScrExec.scr /s $FFFFFFFF", smSaver,
                 static_cast<os::Handle>(static_cast<intptr_t>(-1))},
        ModeCase{L"KsScrExec.scr /s -2", smSaver,
                 static_cast<os::Handle>(static_cast<intptr_t>(-2))}));

TEST(DecideMode, FindsARunningInstanceByTitle) {
    FakeOs fake;
    fake.commandLine = L"KsScrExec.scr /s";
    fake.topWindows[L"Some other window"] = 0x77;
    DecideMode();
    EXPECT_EQ(PrevInstanceWnd, 0u);

    fake.topWindows[L"KestraneScreenSaverExecuter"] = 0x4242;
    DecideMode();
    EXPECT_EQ(PrevInstanceWnd, 0x4242u);
    // The decision itself goes on regardless; start-up acts on the result.
    EXPECT_EQ(SaverMode, smSaver);
    EXPECT_STREQ(kSaverTitle, L"KestraneScreenSaverExecuter");
}

class PumpWaitTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(vcl::Application, &app); // a new application installs itself
        // A wait that never ends shows up as an error, not as a hung run.
        ws.onDispatch = [this] {
            if (++passes > 100000)
                throw std::runtime_error("PumpWait does not end");
        };
    }
    FakeOs os;
    FakeWindowSystem ws;
    vcl::TApplication app;
    int passes = 0;
};

TEST_F(PumpWaitTest, ZeroStillDispatchesOnce) {
    os.tick = 5000;
    os.tickStep = 1;
    bool ran = false;
    ws.queue.push_back([&] { ran = true; });
    PumpWait(0);
    EXPECT_TRUE(ran);
    EXPECT_EQ(os.tick, 5002u); // start and one reading after the pass
}

TEST_F(PumpWaitTest, LastsUntilMoreThanMsHavePassed) {
    struct {
        uint32_t start, step, ms, readings;
    } cases[] = {
        {1000, 10, 250, 26},  // the first reading past 250 is at 260
        {1000, 1, 250, 251},  // 250 is not yet "more than 250"
        {1000, 250, 250, 2},
        {1000, 300, 250, 1},
        {0xFFFFFF80u, 10, 250, 26}, // across the wrap of the tick count
        {0xFFFFFFFFu, 1, 250, 251},
    };
    for (const auto& c : cases) {
        os.tick = c.start;
        os.tickStep = c.step;
        passes = 0;
        PumpWait(c.ms);
        EXPECT_EQ(static_cast<uint32_t>(passes), c.readings)
            << "start " << c.start << " step " << c.step;
        // One reading for the start, then one after each pass.
        EXPECT_EQ(os.tick, static_cast<uint32_t>(c.start + (c.readings + 1) * c.step));
    }
}

TEST_F(PumpWaitTest, DispatchesEverythingThatArrives) {
    os.tickStep = 10;
    std::vector<int> order;
    ws.queue.push_back([&] { order.push_back(1); });
    ws.queue.push_back([&] { order.push_back(2); });
    ws.onDispatch = [&] {
        // A message that arrives halfway through the wait.
        if (++passes == 5)
            ws.queue.push_back([&] { order.push_back(3); });
    };
    PumpWait(100);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(PumpWaitTest, RunsToTheEndWhenTheApplicationIsTerminating) {
    os.tickStep = 10;
    ws.queue.push_back([&] { app.Terminate(); });
    PumpWait(250);
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(os.tick, 270u);
}

} // namespace
