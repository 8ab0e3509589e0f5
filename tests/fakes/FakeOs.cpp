#include "FakeOs.h"

#include <algorithm>

FakeOs::FakeOs() : previous_(os::SetSys(this)) {}

FakeOs::~FakeOs() { os::SetSys(previous_); }

uint32_t FakeOs::TickCount() {
    uint32_t now = tick;
    tick += tickStep;
    return now;
}

bool FakeOs::CursorPos(os::Point& pt) {
    if (!cursorReadable)
        return false;
    pt = cursor;
    return true;
}

bool FakeOs::MoveCursor(int32_t x, int32_t y) {
    cursor = {x, y};
    cursorMoves.push_back(cursor);
    return true;
}

bool FakeOs::StartProcess(const std::wstring& application, std::wstring& cmd, uint32_t flags,
                          const os::StartupInfo& startup, os::ProcessInfo& process) {
    bool ok = !canStart || canStart(application);
    os::Handle h = 0;
    if (ok) {
        h = nextHandle_;
        nextHandle_ += 2;
        procs_[h] = Proc{};
        procs_[h + 1] = Proc{}; // the thread handle
        process.hProcess = h;
        process.hThread = h + 1;
        process.dwProcessId = static_cast<uint32_t>(h);
        process.dwThreadId = static_cast<uint32_t>(h + 1);
    }
    launches.push_back({application, cmd, flags, startup, h});
    return ok;
}

void FakeOs::EndProcess(os::Handle process, uint32_t code) { procs_[process].exitCode = code; }

bool FakeOs::IsOpen(os::Handle h) const {
    auto it = procs_.find(h);
    return it != procs_.end() && it->second.open;
}

size_t FakeOs::OpenHandles() const {
    return static_cast<size_t>(
        std::count_if(procs_.begin(), procs_.end(), [](const auto& p) { return p.second.open; }));
}

bool FakeOs::ExitCode(os::Handle process, uint32_t& code) {
    ++exitCodeReads;
    if (exitCodeFails || !IsOpen(process))
        return false;
    code = procs_[process].exitCode;
    return true;
}

uint32_t FakeOs::Wait(os::Handle object, uint32_t ms) {
    waits.emplace_back(object, ms);
    if (onWait)
        onWait(object, ms);
    return IsOpen(object) && procs_[object].exitCode == os::kStillActive ? 0x102 : 0;
}

bool FakeOs::CloseHandle(os::Handle h) {
    closed.push_back(h);
    if (!IsOpen(h)) {
        ++badCloses;
        return false;
    }
    procs_[h].open = false;
    return true;
}

os::Handle FakeOs::FindTopWindow(const std::wstring& title) {
    auto it = topWindows.find(title);
    return it == topWindows.end() ? 0 : it->second;
}

bool FakeOs::WindowRect(os::Handle wnd, os::Rect& r) {
    auto it = windowRects.find(wnd);
    if (it == windowRects.end())
        return false;
    r = it->second;
    return true;
}

bool FakeOs::IsWindow(os::Handle wnd) { return windowRects.count(wnd) != 0; }

std::wstring FakeOs::ReadProfile(const std::wstring& section, const std::wstring& key,
                                 const std::wstring& def, const std::wstring& path) {
    reads.push_back(section + L"/" + key);
    auto f = files.find(path);
    if (f == files.end())
        return def;
    auto s = f->second.find(section);
    if (s == f->second.end())
        return def;
    auto k = s->second.find(key);
    if (k == s->second.end())
        return def;
    return k->second.substr(0, 2047); // the reader's 2048-character buffer
}

bool FakeOs::WriteProfile(const std::wstring& section, const std::wstring& key,
                          const std::wstring& value, const std::wstring& path) {
    std::wstring id = section + L"/" + key;
    for (const auto& r : refusedWrites)
        if (r == L"*" || r == id)
            return false;
    writes.push_back(id + L"=" + value);
    files[path][section][key] = value;
    return true;
}

void FakeOs::FlushProfile(const std::wstring& path) { flushes.push_back(path); }
