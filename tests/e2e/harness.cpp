#include "harness.h"

#include <cwctype>
#include <utility>

namespace e2e {

const wchar_t kTitle[] = L"KestraneScreenSaverExecuter";

std::string Narrow(const std::wstring& w) {
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::wstring Widen(const std::string& s) {
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

namespace {

std::wstring WithSlash(std::wstring dir) {
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/')
        dir += L'\\';
    return dir;
}

// ctest hands the build folder over as a Unix path; under Wine the root
// of the Unix file system is drive Z:.
std::wstring ToWindowsPath(std::wstring p) {
    if (!p.empty() && p[0] == L'/')
        p = L"Z:" + p;
    for (auto& c : p)
        if (c == L'/')
            c = L'\\';
    return p;
}

std::wstring EnvVar(const wchar_t* name) {
    wchar_t buf[4096];
    DWORD n = GetEnvironmentVariableW(name, buf, 4096);
    if (n == 0 || n >= 4096)
        return {};
    return std::wstring(buf, n);
}

bool SameClass(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[256];
    int n = GetClassNameW(hwnd, buf, 256);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

} // namespace

std::wstring BinDir() {
    std::wstring dir = EnvVar(L"KS_BIN_DIR");
#ifdef ROTATOR_BIN_DIR
    if (dir.empty())
        dir = ROTATOR_BIN_DIR;
#endif
    if (dir.empty()) {
        wchar_t buf[MAX_PATH * 4];
        DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 4);
        dir.assign(buf, n);
        dir.erase(dir.find_last_of(L"\\/") + 1);
    }
    return WithSlash(ToWindowsPath(dir));
}

std::wstring BinFile(const std::wstring& name) { return BinDir() + name; }

bool FileExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return {};
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::wstring ProfileString(const std::wstring& file, const std::wstring& section,
                           const std::wstring& key, const std::wstring& def) {
    wchar_t buf[4096];
    DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buf, 4096,
                                       file.c_str());
    return std::wstring(buf, n);
}

// --- TempDir ---------------------------------------------------------------

TempDir::TempDir() {
    wchar_t base[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, base);
    std::wstring root = WithSlash(std::wstring(base, n));
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = root + L"ks_e2e_" + std::to_wstring(GetCurrentProcessId()) +
                                 L"_" + std::to_wstring(GetTickCount()) + L"_" +
                                 std::to_wstring(++counter);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            // The program reports its own path in long form; use the same.
            wchar_t full[MAX_PATH * 4];
            DWORD len = GetLongPathNameW(candidate.c_str(), full, MAX_PATH * 4);
            path_ = (len > 0 && len < MAX_PATH * 4) ? std::wstring(full, len) : candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    if (!path_.empty())
        RemoveTree(path_);
}

std::wstring TempDir::File(const std::wstring& name) const { return path_ + L"\\" + name; }

std::wstring TempDir::MakeDir(const std::wstring& name) const {
    std::wstring path = File(name);
    for (size_t i = path_.size() + 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\')
            CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    return path;
}

std::wstring TempDir::CopyIn(const std::wstring& src, const std::wstring& name) const {
    std::wstring target = name;
    if (target.empty())
        target = src.substr(src.find_last_of(L"\\/") + 1);
    std::wstring dst = File(target);
    CopyFileW(src.c_str(), dst.c_str(), FALSE);
    return dst;
}

void RemoveTree(const std::wstring& path) {
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES)
        return;
    if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY);
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = fd.cFileName;
                if (name != L"." && name != L"..")
                    RemoveTree(path + L"\\" + name);
            } while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        // A program that has just ended may still hold its folder briefly.
        for (int i = 0; i < 50 && !RemoveDirectoryW(path.c_str()); ++i)
            Sleep(50);
    } else {
        for (int i = 0; i < 50 && !DeleteFileW(path.c_str()); ++i)
            Sleep(50);
    }
}

// --- Process ---------------------------------------------------------------

Process::~Process() { Reset(); }

Process::Process(Process&& other) noexcept
    : process_(std::exchange(other.process_, nullptr)),
      thread_(std::exchange(other.thread_, nullptr)), pid_(std::exchange(other.pid_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Reset();
        process_ = std::exchange(other.process_, nullptr);
        thread_ = std::exchange(other.thread_, nullptr);
        pid_ = std::exchange(other.pid_, 0);
    }
    return *this;
}

void Process::Reset() {
    Kill();
    if (thread_)
        CloseHandle(thread_);
    if (process_)
        CloseHandle(process_);
    thread_ = process_ = nullptr;
    pid_ = 0;
}

Process Process::Start(const std::wstring& exe, const std::wstring& args, bool suspended) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!args.empty())
        line += L" " + args;
    return StartRaw(exe, line, suspended);
}

Process Process::StartRaw(const std::wstring& exe, const std::wstring& commandLine,
                          bool suspended) {
    Process p;
    std::wstring line = commandLine; // CreateProcessW may write into it
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE,
                       suspended ? CREATE_SUSPENDED : 0, nullptr, nullptr, &si, &pi)) {
        p.process_ = pi.hProcess;
        p.thread_ = pi.hThread;
        p.pid_ = pi.dwProcessId;
    }
    return p;
}

void Process::Resume() {
    if (thread_)
        ResumeThread(thread_);
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Process::WaitExit(DWORD& code, DWORD ms) {
    code = 0xDEADBEEF;
    if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(process_, &code) != 0;
}

void Process::Kill() {
    if (Running()) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, kTimeoutMs);
    }
}

// --- Windows ---------------------------------------------------------------

WindowInfo Describe(HWND hwnd) {
    WindowInfo w;
    w.hwnd = hwnd;
    w.className = ClassOf(hwnd);
    wchar_t title[512];
    int n = GetWindowTextW(hwnd, title, 512);
    w.title.assign(title, n > 0 ? static_cast<size_t>(n) : 0);
    w.style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    w.exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    GetWindowRect(hwnd, &w.rect);
    GetClientRect(hwnd, &w.client);
    w.visible = IsWindowVisible(hwnd) != 0;
    w.owner = GetWindow(hwnd, GW_OWNER);
    return w;
}

namespace {

struct TopSearch {
    DWORD pid;
    std::vector<WindowInfo> found;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<TopSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid)
        s->found.push_back(Describe(hwnd));
    return TRUE;
}

struct ChildSearch {
    std::wstring className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    if (SameClass(ClassOf(hwnd), s->className))
        s->found.push_back(hwnd);
    return TRUE;
}

} // namespace

std::vector<WindowInfo> TopWindows(DWORD pid) {
    TopSearch s{pid, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND FindWindowOf(DWORD pid, const std::wstring& className) {
    for (const auto& w : TopWindows(pid))
        if (SameClass(w.className, className))
            return w.hwnd;
    return nullptr;
}

HWND WaitForWindow(DWORD pid, const std::wstring& className, DWORD ms, bool mustBeVisible) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (const auto& w : TopWindows(pid))
                if (SameClass(w.className, className) && (w.visible || !mustBeVisible)) {
                    found = w.hwnd;
                    return true;
                }
            return false;
        },
        ms);
    return found;
}

std::vector<HWND> Children(HWND parent, const std::wstring& className) {
    ChildSearch s{className, {}};
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start > ms)
            return cond();
        Sleep(20);
    }
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, kTimeoutMs, &result))
        return 0;
    return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buf[1024] = {};
    LRESULT n = Send(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf));
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

void SendMouse(int x, int y, DWORD buttonFlags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    // Absolute coordinates run 0..65535 across the primary display; the +1
    // keeps rounding from landing one pixel short.
    in.mi.dx = MulDiv(x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    in.mi.dy = MulDiv(y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttonFlags;
    SendInput(1, &in, sizeof in);
}

void PressKey(WORD vk) {
    INPUT in[2]{};
    in[0].type = INPUT_KEYBOARD;
    in[0].ki.wVk = vk;
    in[1] = in[0];
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

// --- WindowWatcher ---------------------------------------------------------

namespace {
WindowWatcher* activeWatcher = nullptr;
}

WindowWatcher::WindowWatcher(DWORD pid) {
    activeWatcher = this;
    hook_ = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnEvent, pid, 0,
                            WINEVENT_OUTOFCONTEXT);
}

WindowWatcher::~WindowWatcher() {
    if (hook_)
        UnhookWinEvent(hook_);
    activeWatcher = nullptr;
}

void CALLBACK WindowWatcher::OnEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG idObject,
                                     LONG, DWORD, DWORD) {
    // Events of an earlier watcher can still wait in the queue.
    if (!activeWatcher || hook != activeWatcher->hook_ || !hwnd || idObject != OBJID_WINDOW)
        return;
    if (event == EVENT_OBJECT_CREATE)
        activeWatcher->created_.push_back(hwnd);
    else if (event == EVENT_OBJECT_SHOW)
        activeWatcher->shown_.push_back(hwnd);
}

void WindowWatcher::Pump(DWORD ms, HANDLE process, const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    DWORD graceStart = 0;
    bool ended = false;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed > ms)
            return;
        if (ended && GetTickCount() - graceStart > 300)
            return;
        if (done && done())
            return;
        DWORD count = (process && !ended) ? 1 : 0;
        DWORD r = MsgWaitForMultipleObjects(count, &process, FALSE, 20, QS_ALLINPUT);
        if (count == 1 && r == WAIT_OBJECT_0) {
            ended = true;
            graceStart = GetTickCount();
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

} // namespace e2e
