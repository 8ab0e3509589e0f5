#include "rotation_support.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>

#include "harness.h"

namespace e2e {

namespace {

// The text after "key=" up to the next blank (or the line's end).
bool Field(const std::string& line, const char* key, std::string& value) {
    std::string k = std::string(" ") + key + "=";
    size_t at = line.find(k);
    if (at == std::string::npos)
        return false;
    at += k.size();
    size_t end = line.find(' ', at);
    value = line.substr(at, end == std::string::npos ? std::string::npos : end - at);
    return true;
}

long Number(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

ChildEvent Parse(const std::string& line) {
    ChildEvent e;
    e.line = line;
    size_t sp = line.find(' ');
    std::string word = line.substr(0, sp);
    if (sp == std::string::npos)
        return e;
    size_t nameEnd = line.find(' ', sp + 1);
    e.name = line.substr(sp + 1, nameEnd == std::string::npos ? std::string::npos
                                                              : nameEnd - sp - 1);
    std::string v;
    if (word == "start") {
        e.kind = ChildEvent::Start;
        if (Field(line, "pid", v))
            e.pid = static_cast<DWORD>(std::strtoul(v.c_str(), nullptr, 10));
        // The command line may hold blanks and brackets: it runs to the
        // line's last bracket.
        size_t open = line.find("cmdline=[");
        size_t close = line.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close >= open + 9)
            e.cmdline = line.substr(open + 9, close - open - 9);
    } else if (word == "move") {
        e.kind = ChildEvent::Move;
        if (Field(line, "x", v))
            e.x = Number(v);
        if (Field(line, "y", v))
            e.y = Number(v);
    } else if (word == "exit") {
        e.kind = ChildEvent::Exit;
        if (Field(line, "code", v))
            e.code = Number(v);
    }
    return e;
}

const wchar_t kHostClass[] = L"RotationTestHost";

} // namespace

std::vector<ChildEvent> ReadChildLog(const std::wstring& path) {
    std::vector<ChildEvent> events;
    for (const std::string& line : SplitLines(ReadBytes(path)))
        if (!line.empty())
            events.push_back(Parse(line));
    return events;
}

std::vector<ChildEvent> EventsOf(const std::vector<ChildEvent>& events, ChildEvent::Kind kind) {
    std::vector<ChildEvent> out;
    for (const auto& e : events)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

std::vector<std::string> StartedNames(const std::vector<ChildEvent>& events) {
    std::vector<std::string> names;
    for (const auto& e : events)
        if (e.kind == ChildEvent::Start)
            names.push_back(e.name);
    return names;
}

std::string LogText(const std::wstring& path) {
    std::string text = ReadBytes(path);
    return text.empty() ? "(the children's log is empty)" : "children's log:\n" + text;
}

int KillProcessesUnder(const std::wstring& folder) {
    std::wstring prefix = Canonical(folder);
    if (prefix.empty())
        return 0;
    if (prefix.back() != L'\\')
        prefix += L'\\';
    int ended = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W pe{};
    pe.dwSize = sizeof pe;
    for (BOOL more = Process32FirstW(snap, &pe); more; more = Process32NextW(snap, &pe)) {
        if (pe.th32ProcessID == GetCurrentProcessId())
            continue;
        HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                               FALSE, pe.th32ProcessID);
        if (!h)
            continue;
        wchar_t image[MAX_PATH * 4];
        DWORD size = MAX_PATH * 4;
        if (QueryFullProcessImageNameW(h, 0, image, &size) &&
            StartsWithNoCase(Canonical(std::wstring(image, size)), prefix) &&
            WaitForSingleObject(h, 0) == WAIT_TIMEOUT) {
            TerminateProcess(h, 0xDEAD);
            WaitForSingleObject(h, kTimeoutMs);
            ++ended;
        }
        CloseHandle(h);
    }
    CloseHandle(snap);
    return ended;
}

bool PumpUntil(const std::function<bool()>& cond, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (cond())
            return true;
        if (GetTickCount() - start > ms)
            return cond();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

HostWindow::HostWindow(int x, int y, int width, int height) {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = kHostClass;
        registered = RegisterClassW(&wc) != 0;
    }
    hwnd_ = CreateWindowExW(0, kHostClass, L"preview host", WS_POPUP | WS_CLIPCHILDREN, x, y,
                            width, height, nullptr, nullptr, instance, nullptr);
    if (hwnd_)
        ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

HostWindow::~HostWindow() { Destroy(); }

void HostWindow::Destroy() {
    if (hwnd_)
        DestroyWindow(hwnd_);
    hwnd_ = nullptr;
}

std::wstring HostWindow::Number() const {
    return std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd_)));
}

POINT CursorNow() {
    POINT pt{-1, -1};
    GetCursorPos(&pt);
    return pt;
}

bool PlacePointer(POINT pt) {
    GetDesktopWindow(); // brings Wine's desktop up, which keeps the pointer
    return WaitUntil(
        [&] {
            SetCursorPos(pt.x, pt.y);
            POINT now = CursorNow();
            return now.x == pt.x && now.y == pt.y;
        },
        5000);
}

namespace {

// The system-wide handle list (information class 16) as ntdll returns it.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
const ULONG kSystemHandleInformation = 16;
const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

} // namespace

bool HandleCount(HANDLE process, DWORD pid, DWORD& count) {
    count = 0;
    if (GetProcessHandleCount(process, &count) && count > 0)
        return true;
    auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    LONG status;
    for (;;) {
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                       &needed);
        if (status != kInfoLengthMismatch)
            break;
        buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
    }
    if (status < 0)
        return false;
    const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
    for (ULONG i = 0; i < list->count; ++i)
        if (list->entries[i].ownerPid == pid)
            ++count;
    return count > 0;
}

// The full, long form of a path, for comparing two spellings of it.
std::wstring Canonical(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    std::wstring p = (n > 0 && n < MAX_PATH * 4) ? std::wstring(full, n) : path;
    wchar_t lng[MAX_PATH * 4];
    n = GetLongPathNameW(p.c_str(), lng, MAX_PATH * 4);
    if (n > 0 && n < MAX_PATH * 4)
        p.assign(lng, n);
    return p;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() &&
           CompareStringOrdinal(text.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

std::string IniText(const std::string& interval, const std::string& mode,
                    const std::vector<std::string>& files) {
    std::string s = "[KS_SCR]\r\nInterval=" + interval + "\r\nMode=" + mode + "\r\n";
    if (!files.empty()) {
        s += "[SCRFiles]\r\n";
        for (size_t i = 0; i < files.size(); ++i)
            s += "No" + std::to_string(i) + "=" + files[i] + "\r\n";
    }
    return s;
}

bool SamePoint(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

std::string ShowPoint(POINT p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

} // namespace e2e
