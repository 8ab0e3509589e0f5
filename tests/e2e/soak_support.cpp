#include "soak_support.h"

#include <psapi.h>
#include <tlhelp32.h>

namespace e2e {

bool SampleResources(HANDLE process, DWORD pid, ResourceSample& sample) {
    sample = {};
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof mem;
    if (!K32GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem),
                                 sizeof mem))
        return false;
    // Windows gives the private commit charge in both fields. Wine leaves
    // PrivateUsage at 0 for another process and puts the process's
    // anonymous resident memory into PagefileUsage.
    sample.privateBytes = mem.PrivateUsage ? mem.PrivateUsage : mem.PagefileUsage;
    return HandleCount(process, pid, sample.handles) && sample.privateBytes > 0;
}

std::vector<std::wstring> ProcessesUnder(const std::wstring& folder) {
    std::vector<std::wstring> found;
    std::wstring prefix = Canonical(folder);
    if (prefix.empty())
        return found;
    if (prefix.back() != L'\\')
        prefix += L'\\';
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
        HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                               pe.th32ProcessID);
        if (!h)
            continue;
        wchar_t image[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        // A process that has ended can stay in the list while a handle to
        // it is open; it counts as gone.
        if (QueryFullProcessImageNameW(h, 0, image, &size) &&
            WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
            std::wstring path = Canonical(std::wstring(image, size));
            if (StartsWithNoCase(path, prefix))
                found.push_back(path + L" (pid " + std::to_wstring(pe.th32ProcessID) + L")");
        }
        CloseHandle(h);
    }
    CloseHandle(snap);
    return found;
}

size_t StartCounter::Poll() {
    HANDLE f = CreateFileW(path_.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return count_;
    LARGE_INTEGER at;
    at.QuadPart = offset_;
    if (SetFilePointerEx(f, at, nullptr, FILE_BEGIN)) {
        char buf[8192];
        DWORD got = 0;
        while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) {
            offset_ += got;
            partial_.append(buf, got);
        }
    }
    CloseHandle(f);
    // Whole lines only: a child may be half-way through writing one.
    size_t start = 0;
    for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1)
        if (partial_.compare(start, 6, "start ") == 0)
            ++count_;
    partial_.erase(0, start);
    return count_;
}

// --- ChildRunTest -------------------------------------------------------------

void ChildRunTest::SetUp() {
    ScrTest::SetUp();
    if (HasFatalFailure())
        return;
    log = dir->File(L"children.log");
    // The rotator hands its environment on to the children.
    SetEnvironmentVariableW(L"CHILD_LOG", log.c_str());
    SetEnvironmentVariableW(L"CHILD_MAX_MS", L"60000");
}

void ChildRunTest::TearDown() {
    procs.clear(); // the rotator first, so that it starts nothing more
    if (dir)
        KillProcessesUnder(dir->Path()); // only after a failure is there anything
    SetEnvironmentVariableW(L"CHILD_LOG", nullptr);
    SetEnvironmentVariableW(L"CHILD_MAX_MS", nullptr);
    SetEnvironmentVariableW(L"CHILD_LIFETIME_MS", nullptr);
    ScrTest::TearDown();
}

void ChildRunTest::Child(const std::wstring& name, const std::wstring& program) {
    std::wstring source = BinFile(program + L".exe");
    ASSERT_TRUE(FileExists(source)) << "no test child at " << Narrow(source);
    ASSERT_TRUE(FileExists(dir->CopyIn(source, name + L".exe")));
}

Process& ChildRunTest::StartSaver(const std::string& iniText, HWND& saver) {
    EXPECT_TRUE(PlacePointer(kHome)) << "the pointer stays at " << ShowPoint(CursorNow());
    WriteIni(iniText);
    Process& p = Launch(L"/s");
    saver = WaitForWindow(p.Pid(), L"TForm2");
    EXPECT_NE(saver, nullptr) << "no rotation window";
    // Wine reports the pointer's entry into the new window late; had the
    // test moved the pointer meanwhile, the stale entry would leave Wine
    // believing the pointer still stood at kHome, and the move back at the
    // end would be skipped as no move at all.
    Sleep(300);
    return p;
}

DWORD ChildRunTest::ExpectEndsSoon(Process& p, DWORD ms) {
    bool box = false;
    WaitUntil(
        [&] {
            box = box || HasMessageBox(p.Pid());
            return !p.Running();
        },
        ms);
    DWORD at = GetTickCount();
    EXPECT_FALSE(box) << "the rotator showed a box";
    ExpectCleanExit(p, 0);
    return at;
}

bool ChildRunTest::WaitForStarts(size_t n, DWORD ms) {
    return WaitUntil([&] { return StartedNames(Events()).size() >= n; }, ms);
}

void ChildRunTest::ExpectNothingLeftRunning() {
    const size_t starts = StartedNames(Events()).size();
    std::vector<std::wstring> left;
    auto none = [&] {
        left = ProcessesUnder(dir->Path());
        return left.empty();
    };
    if (!WaitUntil(none, 2000)) {
        POINT now = CursorNow();
        SetCursorPos(now.x + 50, now.y + 50);
        WaitUntil(none, 3000);
    }
    std::string names;
    for (const auto& l : left)
        names += "\n  " + Narrow(l);
    EXPECT_TRUE(left.empty()) << "still running:" << names << "\n" << LogText(log);
    EXPECT_EQ(StartedNames(Events()).size(), starts)
        << "a child started after the show had ended\n" << LogText(log);
}

} // namespace e2e
