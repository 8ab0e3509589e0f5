// Helpers for the soak and fault tests: what the rotator holds (handles,
// private memory), which processes still run from a test folder, a cheap
// count of the children's starts for long runs, and a fixture that runs the
// rotator over copies of the test children.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "fixture.h"
#include "rotation_support.h"

namespace e2e {

// What one process holds at one moment.
struct ResourceSample {
    DWORD handles = 0;
    SIZE_T privateBytes = 0;
};

// Handle count and private memory (PrivateUsage) of a running process;
// false when the system can't tell.
bool SampleResources(HANDLE process, DWORD pid, ResourceSample& sample);

// "<program path> (pid <n>)" for every live process whose program file lies
// in folder or below it.
std::vector<std::wstring> ProcessesUnder(const std::wstring& folder);

// Counts the "start" lines of the children's log, reading only what was
// appended since the last call: a long soak checks it many times a second.
class StartCounter {
  public:
    explicit StartCounter(std::wstring path) : path_(std::move(path)) {}
    size_t Poll();

  private:
    std::wstring path_;
    LONGLONG offset_ = 0;
    std::string partial_;
    size_t count_ = 0;
};

// The rotator in saver mode over copies of the test children, which log to
// children.log in the test folder.
class ChildRunTest : public ScrTest {
  protected:
    // Where the pointer stands when the rotator starts: outside the
    // top-left 320 x 240 of the nudges.
    static constexpr POINT kHome = {700, 500};

    void SetUp() override;
    void TearDown() override;

    // A copy of tests/children/<program>.exe in the folder, as <name>.exe.
    void Child(const std::wstring& name, const std::wstring& program = L"WellBehaved");
    // Puts the pointer at kHome, writes the settings, starts the rotator
    // with "/s" and finds its window.
    Process& StartSaver(const std::string& iniText, HWND& saver);

    std::vector<ChildEvent> Events() const { return ReadChildLog(log); }
    bool WaitForStarts(size_t n, DWORD ms);
    // The rotator's end must come by itself within ms, without an error box,
    // with exit code 0; returns when it came, as a tick count.
    DWORD ExpectEndsSoon(Process& p, DWORD ms);

    // After the rotator's end: every child from the folder ends, and none
    // starts any more. A child launched just before the show ended may read
    // its starting pointer position only after the rotator has put the
    // pointer back (under Wine the first pointer query of a process waits
    // for the display connection), and then sees no move; a move of the
    // pointer, as a user would make, ends it.
    void ExpectNothingLeftRunning();

    std::wstring log;
};


} // namespace e2e
