// The benchmark's measuring program. Runs under Wine (or Windows), starts
// the rotator and the floor program as a screen-saver host would, and
// measures them through Win32 only:
//
//   start-up  from CreateProcess to the program's window being visible,
//             polled every millisecond; floor and rotator alternate;
//   cpu/mem   both programs side by side for the same stretch of time, the
//             rotator with a child running: GetProcessTimes (kernel + user)
//             and GetProcessMemoryInfo (PrivateUsage, PeakWorkingSetSize);
//   gap       the rotator with Interval 0 and gap children, which log the
//             performance counter at their start and just before their
//             exit: from one child's exit to the next child's start.
//
//   probe.exe --scr FILE --floor FILE --child FILE --work DIR --out FILE
//             [--startups N] [--cpu-seconds S] [--rotations N] [--scr-class NAME]
//
// --scr-class names the window class to wait for in place of the rotator's,
// to measure another program against the floor.
// Writes "key=value" lines to the --out file; bench/run.sh makes the table.
// Exit code 0 when every phase produced its figures.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t* kRotatorClass = L"TForm2"; // --scr-class: another program to compare
const wchar_t kFloorClass[] = L"RotatorBenchFloor";
const DWORD kWaitMs = 15000;

FILE* g_out = nullptr;
bool g_ok = true;

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
    fflush(stderr);
}

void Result(const char* key, double value) {
    fprintf(g_out, "%s=%.3f\n", key, value);
    fflush(g_out);
    Say("  %s = %.3f", key, value);
}

void Fail(const char* what) {
    fprintf(g_out, "error=%s\n", what);
    fflush(g_out);
    Say("probe: %s", what);
    g_ok = false;
}

double NowMs() {
    LARGE_INTEGER count, freq;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&freq);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string Narrow(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &s[0], n, nullptr, nullptr);
    return s;
}

bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == text.size();
}

std::string ReadText(const std::wstring& path) {
    std::string text;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return text;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(f);
    return text;
}

// The rotator's settings file: the interval and the list of slots.
bool WriteIni(const std::wstring& scr, int interval, int slots, const std::wstring& child) {
    std::wstring ini = scr.substr(0, scr.find_last_of(L'.')) + L".ini";
    std::string text = "[KS_SCR]\r\nInterval=" + std::to_string(interval) + "\r\nMode=0\r\n[SCRFiles]\r\n";
    for (int i = 0; i < slots; ++i)
        text += "No" + std::to_string(i) + "=" + Narrow(FileName(child)) + "\r\n";
    return WriteText(ini, text);
}

struct Program {
    PROCESS_INFORMATION pi{};
    bool Started() const { return pi.hProcess != nullptr; }
    bool Running() const { return Started() && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
};

bool Start(Program& p, const std::wstring& exe, const wchar_t* args) {
    std::wstring line = L"\"" + exe + L"\"" + (args ? std::wstring(L" ") + args : L"");
    std::wstring dir = exe.substr(0, exe.find_last_of(L"\\/"));
    STARTUPINFOW si{};
    si.cb = sizeof si;
    return CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si,
                          &p.pi) != 0;
}

struct FindArgs {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
    auto* args = reinterpret_cast<FindArgs*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != args->pid || !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t name[64];
    if (GetClassNameW(hwnd, name, 64) && wcscmp(name, args->className) == 0) {
        args->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND VisibleWindow(const Program& p, const wchar_t* className) {
    FindArgs args{p.pi.dwProcessId, className, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&args));
    return args.found;
}

// Polls every millisecond; the window, or null when the program ended or
// the wait ran out.
HWND WaitVisible(const Program& p, const wchar_t* className, DWORD ms = kWaitMs) {
    double until = NowMs() + ms;
    for (;;) {
        if (HWND hwnd = VisibleWindow(p, className))
            return hwnd;
        if (!p.Running() || NowMs() > until)
            return nullptr;
        Sleep(1);
    }
}

// Closes the program's window and waits for its end; ends it the hard way
// if it does not go.
void Stop(Program& p, const wchar_t* className) {
    if (!p.Started())
        return;
    if (p.Running()) {
        FindArgs args{p.pi.dwProcessId, className, nullptr};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&args));
        if (args.found)
            PostMessageW(args.found, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(p.pi.hProcess, kWaitMs) != WAIT_OBJECT_0) {
            Say("probe: a program did not close; ending it");
            TerminateProcess(p.pi.hProcess, 1);
            WaitForSingleObject(p.pi.hProcess, kWaitMs);
        }
    }
    CloseHandle(p.pi.hThread);
    CloseHandle(p.pi.hProcess);
    p.pi = PROCESS_INFORMATION{};
}

// Ends every process started from the gap child's file: the rotator never
// ends its children itself.
void StopChildren(const std::wstring& child) {
    // A pointer move ends them the way they are meant to end.
    POINT pt;
    GetCursorPos(&pt);
    SetCursorPos(pt.x + 40, pt.y + 40);
    Sleep(300);
    std::wstring name = FileName(child);
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
        if (_wcsicmp(pe.szExeFile, name.c_str()) != 0)
            continue;
        if (HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID)) {
            if (WaitForSingleObject(h, 2000) == WAIT_TIMEOUT) {
                TerminateProcess(h, 1);
                WaitForSingleObject(h, kWaitMs);
            }
            CloseHandle(h);
        }
    }
    CloseHandle(snap);
}

double Median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Nearest-rank percentile.
double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t rank = static_cast<size_t>(p / 100.0 * v.size() + 0.999999);
    return v[std::min(v.size(), std::max<size_t>(rank, 1)) - 1];
}

// ---------------------------------------------------------------------------

// Milliseconds from CreateProcess to the window being visible; < 0 on failure.
double StartupOnce(const std::wstring& exe, const wchar_t* args, const wchar_t* className) {
    Program p;
    double t0 = NowMs();
    if (!Start(p, exe, args))
        return -1;
    HWND hwnd = WaitVisible(p, className);
    double t = NowMs() - t0;
    Stop(p, className);
    return hwnd ? t : -1;
}

void MeasureStartup(const std::wstring& scr, const std::wstring& floorExe, const std::wstring& child,
                    int runs) {
    Say("start-up: %d runs of each, alternating", runs);
    // Nothing is ever launched with this interval: the window shows alone.
    if (!WriteIni(scr, -1, 1, child))
        return Fail("cannot write the rotator's settings");
    // One unmeasured run of each loads the files into the cache.
    StartupOnce(floorExe, nullptr, kFloorClass);
    StartupOnce(scr, L"/s", kRotatorClass);
    std::vector<double> floorMs, scrMs;
    for (int i = 0; i < runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            bool floorTurn = (i + k) % 2 == 0;
            double t = floorTurn ? StartupOnce(floorExe, nullptr, kFloorClass)
                                 : StartupOnce(scr, L"/s", kRotatorClass);
            if (t < 0)
                return Fail(floorTurn ? "the floor's window did not show" : "the rotator's window did not show");
            (floorTurn ? floorMs : scrMs).push_back(t);
        }
    }
    Result("startup_runs", runs);
    Result("startup_floor_ms", Median(floorMs));
    Result("startup_scr_ms", Median(scrMs));
    Result("startup_floor_max_ms", *std::max_element(floorMs.begin(), floorMs.end()));
    Result("startup_scr_max_ms", *std::max_element(scrMs.begin(), scrMs.end()));
}

double FileTimeMs(const FILETIME& f) {
    return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4;
}

// Kernel + user time of the process in ms, -1 on failure. Under Wine,
// GetProcessTimes for another process can read zero while the times of its
// threads (GetThreadTimes) do not; whichever source is larger at the first
// reading is used for the whole run, and g_cpuSource names it.
const char* g_cpuSource = nullptr;

double ThreadsCpuMs(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return -1;
    double total = 0;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != pid)
            continue;
        if (HANDLE t = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, te.th32ThreadID)) {
            FILETIME created, exited, kernel, user;
            if (GetThreadTimes(t, &created, &exited, &kernel, &user))
                total += FileTimeMs(kernel) + FileTimeMs(user);
            CloseHandle(t);
        }
    }
    CloseHandle(snap);
    return total;
}

double CpuMs(const Program& p) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(p.pi.hProcess, &created, &exited, &kernel, &user))
        return -1;
    double processMs = FileTimeMs(kernel) + FileTimeMs(user);
    double threadsMs = ThreadsCpuMs(p.pi.dwProcessId);
    if (!g_cpuSource)
        g_cpuSource = processMs >= threadsMs ? "GetProcessTimes" : "GetThreadTimes";
    return strcmp(g_cpuSource, "GetProcessTimes") == 0 ? processMs : threadsMs;
}

// Committed private memory, the quantity PrivateUsage counts, added up
// region by region with VirtualQueryEx.
SIZE_T CommittedPrivate(HANDLE process) {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION mbi;
    for (char* at = nullptr; VirtualQueryEx(process, at, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            total += mbi.RegionSize;
        char* next = static_cast<char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    return total;
}

// Wine reports PrivateUsage as 0 for other processes (it mirrors the swap
// in use); the sum of committed private regions stands in for it then.
const char* g_privateSource = "PrivateUsage";

bool Memory(HANDLE process, PROCESS_MEMORY_COUNTERS_EX& pmc) {
    pmc = PROCESS_MEMORY_COUNTERS_EX{};
    pmc.cb = sizeof pmc;
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
        return false;
    if (pmc.PrivateUsage == 0) {
        g_privateSource = "VirtualQueryEx";
        pmc.PrivateUsage = CommittedPrivate(process);
    }
    return pmc.PrivateUsage != 0;
}

int CountLines(const std::string& text, const char* word) {
    int n = 0;
    size_t len = strlen(word);
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, len, word) == 0)
            ++n;
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    return n;
}

void MeasureCpuMemory(const std::wstring& scr, const std::wstring& floorExe, const std::wstring& child,
                      const std::wstring& work, const std::wstring& log, int seconds) {
    Say("cpu and memory: rotator (with a child running) beside the floor for %d s", seconds);
    // The first child starts once the tick count has reached the interval
    // in whole minutes, and runs for that long: 2 minutes outlast the
    // measurement.
    const int interval = 2;
    if (seconds > interval * 60 - 20)
        return Fail("the cpu measurement must be shorter than 100 s");
    while (GetTickCount() / 60000 < static_cast<DWORD>(interval)) {
        Say("  waiting for the system's tick count to reach %d minutes", interval);
        Sleep(10000);
    }
    if (!WriteIni(scr, interval, 1, child))
        return Fail("cannot write the rotator's settings");
    DeleteFileW(log.c_str());
    DeleteFileW((work + L"\\cpu-begin").c_str());
    DeleteFileW((work + L"\\cpu-end").c_str());
    wchar_t maxMs[32];
    swprintf(maxMs, 32, L"%d", (seconds + 60) * 1000);
    SetEnvironmentVariableW(L"GAPCHILD_MAX_MS", maxMs);

    Program floorP, scrP;
    if (!Start(floorP, floorExe, nullptr) || !Start(scrP, scr, L"/s"))
        return Fail("cannot start the floor or the rotator");
    bool shown = WaitVisible(floorP, kFloorClass) && WaitVisible(scrP, kRotatorClass);
    double until = NowMs() + kWaitMs;
    while (shown && CountLines(ReadText(log), "start ") < 1 && NowMs() < until)
        Sleep(50);
    if (!shown || CountLines(ReadText(log), "start ") < 1) {
        Fail("the rotator did not start its child");
    } else {
        Sleep(2000); // let the child's start settle
        // Marker files let a caller outside Windows read its own clocks for
        // the same stretch (bench/run.sh reads the Linux scheduler's).
        double f0 = CpuMs(floorP), s0 = CpuMs(scrP);
        double t0 = NowMs();
        WriteText(work + L"\\cpu-begin", std::to_string(floorP.pi.dwProcessId) + " " +
                                              std::to_string(scrP.pi.dwProcessId) + "\n");
        Sleep(static_cast<DWORD>(seconds) * 1000);
        double f1 = CpuMs(floorP), s1 = CpuMs(scrP);
        double t1 = NowMs();
        WriteText(work + L"\\cpu-end", "\n");
        PROCESS_MEMORY_COUNTERS_EX fm, sm;
        bool memOk = Memory(floorP.pi.hProcess, fm) && Memory(scrP.pi.hProcess, sm);
        if (!scrP.Running() || CountLines(ReadText(log), "exit ") != 0) {
            Fail("the child or the rotator ended during the cpu measurement");
        } else if (f0 < 0 || s0 < 0) {
            Fail("GetProcessTimes failed");
        } else {
            Result("cpu_seconds", (t1 - t0) / 1000.0);
            Result("cpu_floor_ms", f1 - f0);
            Result("cpu_scr_ms", s1 - s0);
            fprintf(g_out, "cpu_source=%s\n", g_cpuSource ? g_cpuSource : "none");
        }
        if (!memOk) {
            Fail("GetProcessMemoryInfo failed");
        } else {
            Result("private_floor_kib", fm.PrivateUsage / 1024.0);
            Result("private_scr_kib", sm.PrivateUsage / 1024.0);
            Result("peak_ws_floor_kib", fm.PeakWorkingSetSize / 1024.0);
            Result("peak_ws_scr_kib", sm.PeakWorkingSetSize / 1024.0);
            fprintf(g_out, "private_source=%s\n", g_privateSource);
        }
    }
    Stop(scrP, kRotatorClass);
    Stop(floorP, kFloorClass);
    StopChildren(child);
}

struct ChildEvent {
    bool start;
    unsigned long pid;
    long long us;
    long long createdUs; // start only
};

std::vector<ChildEvent> ParseLog(const std::string& text) {
    std::vector<ChildEvent> events;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        ChildEvent e{};
        char word[16] = "";
        long long created = 0;
        int n = sscanf(line.c_str(), "%15s %lu %lld created=%lld", word, &e.pid, &e.us, &created);
        if (n >= 3 && (strcmp(word, "start") == 0 || strcmp(word, "exit") == 0)) {
            e.start = word[0] == 's';
            e.createdUs = created;
            events.push_back(e);
        }
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    return events;
}

void MeasureGap(const std::wstring& scr, const std::wstring& child, const std::wstring& log, int rotations) {
    Say("gap: %d rotations with Interval 0", rotations);
    if (!WriteIni(scr, 0, 2, child))
        return Fail("cannot write the rotator's settings");
    DeleteFileW(log.c_str());
    SetEnvironmentVariableW(L"GAPCHILD_MAX_MS", L"30000");
    Program scrP;
    if (!Start(scrP, scr, L"/s"))
        return Fail("cannot start the rotator");
    double until = NowMs() + rotations * 3000.0 + kWaitMs;
    int starts = 0;
    while (scrP.Running() && NowMs() < until) {
        starts = CountLines(ReadText(log), "start ");
        if (starts > rotations)
            break;
        Sleep(200);
    }
    bool ended = !scrP.Running();
    Stop(scrP, kRotatorClass);
    StopChildren(child);
    if (ended)
        return Fail("the rotator ended during the gap measurement");
    if (starts <= rotations)
        return Fail("too few rotations in the time allowed");

    // Each start after the first, against the exit of the child before it.
    std::vector<ChildEvent> events = ParseLog(ReadText(log));
    std::vector<double> gaps, launch, childStart;
    const ChildEvent* lastStart = nullptr;
    for (const ChildEvent& e : events) {
        if (!e.start)
            continue;
        if (lastStart) {
            const ChildEvent* exit = nullptr;
            for (const ChildEvent& x : events)
                if (!x.start && x.pid == lastStart->pid)
                    exit = &x;
            if (exit) {
                gaps.push_back((e.us - exit->us) / 1000.0);
                if (e.createdUs) {
                    launch.push_back((e.createdUs - exit->us) / 1000.0);
                    childStart.push_back((e.us - e.createdUs) / 1000.0);
                }
            }
        }
        lastStart = &e;
        if (static_cast<int>(gaps.size()) >= rotations)
            break;
    }
    if (static_cast<int>(gaps.size()) < rotations)
        return Fail("the children's log lacks exit lines");
    Result("gap_count", static_cast<double>(gaps.size()));
    Result("gap_median_ms", Median(gaps));
    Result("gap_p95_ms", Percentile(gaps, 95));
    Result("gap_max_ms", *std::max_element(gaps.begin(), gaps.end()));
    Result("gap_min_ms", *std::min_element(gaps.begin(), gaps.end()));
    if (launch.size() == gaps.size()) {
        Result("gap_launch_median_ms", Median(launch));
        Result("gap_childstart_median_ms", Median(childStart));
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring scr, floorExe, child, work, out;
    int startups = 11, cpuSeconds = 60, rotations = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::wstring key = argv[i];
        const wchar_t* value = argv[i + 1];
        if (key == L"--scr") scr = value;
        else if (key == L"--floor") floorExe = value;
        else if (key == L"--child") child = value;
        else if (key == L"--work") work = value;
        else if (key == L"--out") out = value;
        else if (key == L"--startups") startups = _wtoi(value);
        else if (key == L"--cpu-seconds") cpuSeconds = _wtoi(value);
        else if (key == L"--rotations") rotations = _wtoi(value);
        else if (key == L"--scr-class") kRotatorClass = value;
    }
    if (scr.empty() || floorExe.empty() || child.empty() || work.empty() || out.empty()) {
        fwprintf(stderr, L"usage: probe --scr F --floor F --child F --work DIR --out F "
                         L"[--startups N] [--cpu-seconds S] [--rotations N]\n");
        return 2;
    }
    g_out = _wfopen(out.c_str(), L"w");
    if (!g_out)
        return 2;

    // The rotator runs from a folder of its own with its settings file and
    // the child beside it; the floor runs from there too.
    CreateDirectoryW(work.c_str(), nullptr);
    std::wstring scrCopy = work + L"\\" + FileName(scr);
    std::wstring childCopy = work + L"\\" + FileName(child);
    std::wstring floorCopy = work + L"\\" + FileName(floorExe);
    if (!CopyFileW(scr.c_str(), scrCopy.c_str(), FALSE) || !CopyFileW(child.c_str(), childCopy.c_str(), FALSE) ||
        !CopyFileW(floorExe.c_str(), floorCopy.c_str(), FALSE)) {
        Fail("cannot copy the programs into the work folder");
        return 1;
    }
    std::wstring log = work + L"\\gapchild.log";
    SetEnvironmentVariableW(L"GAPCHILD_LOG", log.c_str());
    // The children end on a pointer move: start them all from one spot.
    SetCursorPos(600, 500);

    // The cpu phase comes last: its child starts only once the system has
    // been up for two minutes, which on a machine just booted the other
    // phases use up.
    if (startups > 0)
        MeasureStartup(scrCopy, floorCopy, childCopy, startups);
    if (rotations > 0)
        MeasureGap(scrCopy, childCopy, log, rotations);
    if (cpuSeconds > 0)
        MeasureCpuMemory(scrCopy, floorCopy, childCopy, work, log, cpuSeconds);
    fclose(g_out);
    return g_ok ? 0 : 1;
}
