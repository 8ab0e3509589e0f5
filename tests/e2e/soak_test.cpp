// The soak: the rotator runs many rotations back to back (Interval 0, well
// behaved children) and must still be running at the end, with as many
// handles and as much private memory as after its first rotations. The
// number of rotations comes from ROTATOR_SOAK_ROTATIONS (default 100;
// scripts/soak.sh runs a long one). The figures are printed, so that a long
// run reports them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "soak_support.h"

namespace e2e {
namespace {

const size_t kDefaultRotations = 100;
const size_t kSampleEvery = 10;
// A sample after this many rotations is the baseline: by then every
// child has run once and whatever is allocated once has been.
const size_t kWarmUp = 10;
const DWORD kHandleSlack = 8;
const SIZE_T kPrivateSlack = 256 * 1024;
// The longest pause between two starts before the rotation counts as hung.
const DWORD kStallMs = 15000;

size_t Rotations() {
    wchar_t text[32];
    DWORD n = GetEnvironmentVariableW(L"ROTATOR_SOAK_ROTATIONS", text, 32);
    if (n == 0 || n >= 32)
        return kDefaultRotations;
    // At least enough for a baseline and one sample after it.
    unsigned long v = std::wcstoul(text, nullptr, 10);
    return v == 0 ? kDefaultRotations : std::max<size_t>(v, kWarmUp + kSampleEvery);
}

struct Stat {
    unsigned long long first = 0, last = 0, max = 0;
};

template <typename Get>
Stat StatOf(const std::vector<ResourceSample>& samples, Get get) {
    Stat s;
    s.first = get(samples.front());
    s.last = get(samples.back());
    for (const auto& x : samples)
        s.max = std::max<unsigned long long>(s.max, get(x));
    return s;
}

using SoakTest = ChildRunTest;

TEST_F(SoakTest, ManyRotationsKeepHandlesAndMemoryFlat) {
    const size_t rotations = Rotations();
    const std::vector<std::wstring> names = {L"W0", L"W1", L"W2", L"W3"};
    std::vector<std::string> list;
    for (const auto& n : names) {
        ASSERT_NO_FATAL_FAILURE(Child(n));
        list.push_back(Narrow(n) + ".exe");
    }
    HWND saver = nullptr;
    const DWORD begin = GetTickCount();
    Process& p = StartSaver(IniText("0", "0", list), saver);
    ASSERT_NE(saver, nullptr);

    // Rotation k has ended once child k + 1 has started.
    StartCounter counter(log);
    std::vector<ResourceSample> samples;
    size_t nextSample = kWarmUp;
    size_t seen = 0;
    DWORD lastProgress = GetTickCount();
    for (;;) {
        ASSERT_TRUE(p.Running()) << "the rotator ended after " << seen << " starts\n"
                                 << LogText(log);
        size_t now = counter.Poll();
        if (now != seen) {
            seen = now;
            lastProgress = GetTickCount();
        }
        ASSERT_LT(GetTickCount() - lastProgress, kStallMs)
            << "no child started for " << kStallMs / 1000 << " s after " << seen << " starts";
        if (seen > nextSample) {
            ResourceSample s;
            ASSERT_TRUE(SampleResources(p.Handle(), p.Pid(), s))
                << "no handle count or private memory for the rotator";
            samples.push_back(s);
            nextSample += kSampleEvery;
        }
        if (seen >= rotations + 1)
            break;
        Sleep(50);
    }
    const DWORD elapsed = GetTickCount() - begin;
    std::vector<ChildEvent> events = Events(); // before the end puts the pointer back

    ASSERT_TRUE(p.Running());
    PostMessageW(saver, WM_CHAR, L'a', 0);
    ExpectCleanExit(p);
    EXPECT_TRUE(SamePoint(CursorNow(), kHome)) << "pointer at " << ShowPoint(CursorNow());
    ExpectNothingLeftRunning();

    // In turn, every one with " /S", and each ended by its nudge.
    std::vector<ChildEvent> starts = EventsOf(events, ChildEvent::Start);
    ASSERT_GE(starts.size(), rotations + 1);
    for (size_t i = 0; i < starts.size(); ++i) {
        EXPECT_EQ(starts[i].name, Narrow(names[i % names.size()])) << "start " << i;
        EXPECT_EQ(starts[i].cmdline, " /S") << starts[i].line;
    }
    std::vector<ChildEvent> exits = EventsOf(events, ChildEvent::Exit);
    EXPECT_GE(exits.size(), rotations);
    for (const auto& e : exits)
        EXPECT_EQ(e.code, 0) << e.line;

    ASSERT_GE(samples.size(), 2u);
    Stat handles = StatOf(samples, [](const ResourceSample& s) { return s.handles; });
    Stat priv = StatOf(samples, [](const ResourceSample& s) { return s.privateBytes; });
    std::printf("soak: %zu rotations in %.1f s (%.0f ms each), %zu samples\n"
                "soak: handles      first %llu, last %llu, max %llu\n"
                "soak: private KiB  first %llu, last %llu, max %llu\n",
                rotations, elapsed / 1000.0, double(elapsed) / double(rotations),
                samples.size(), handles.first, handles.last, handles.max,
                priv.first / 1024, priv.last / 1024, priv.max / 1024);
    std::fflush(stdout);
    EXPECT_LE(handles.last, handles.first + kHandleSlack) << "the handle count grows";
    EXPECT_LE(priv.last, priv.first + kPrivateSlack) << "private memory grows";
}

} // namespace
} // namespace e2e
