// A test fixture for the end-to-end tests: a fresh folder with its own copy
// of the program, processes that are always ended in TearDown, and a view
// of the settings dialog's controls from outside.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

// The settings dialog seen from another process.
struct DialogView {
    HWND form = nullptr;
    HWND scroll = nullptr;
    HWND edit = nullptr;
    HWND ok = nullptr;
    HWND group = nullptr;
    std::vector<HWND> radios; // in item order

    static DialogView Of(HWND form);
    bool Complete() const { return scroll && edit && ok && radios.size() == 2; }

    int Position() const;
    std::wstring EditText() const { return TextOf(edit); }
    // The index of the one checked radio button, -1 for none, -2 for both.
    int Checked() const;
    // Scroll request as the scroll bar sends it to its parent.
    void Scroll(int code, int pos = 0) const;
    // Line steps until the scroll bar stands at pos.
    void StepTo(int pos) const;
    void ClickRadio(int index) const;
    // Posted: the click saves and closes, or shows an error box.
    void PostOk() const;
};

class ScrTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the program copy with "\"<path>\" <args>".
    Process& Launch(const std::wstring& args, bool suspended = false);
    // Starts exe (default the program copy) with an exact command line.
    Process& LaunchRaw(const std::wstring& commandLine, const std::wstring& exe = L"");
    // Starts the program, waits for the dialog and reads its controls.
    DialogView OpenDialog(Process*& proc, const std::wstring& args = L"");

    void WriteIni(const std::string& text) { WriteBytes(ini, text); }
    // "Interval" and "Mode" as the file holds them now ("<none>" if absent).
    std::wstring IniValue(const wchar_t* key) { return ProfileString(ini, L"KS_SCR", key); }

    // Waits for the exit and expects exit code 0.
    static void ExpectCleanExit(Process& p, DWORD ms = kTimeoutMs);
    // No error box (or any other dialog-box window) of the process.
    static bool HasMessageBox(DWORD pid) { return FindWindowOf(pid, L"#32770") != nullptr; }

    std::unique_ptr<TempDir> dir;
    std::wstring scr; // the program copy
    std::wstring ini; // the settings file beside it
    std::vector<std::unique_ptr<Process>> procs;
};

} // namespace e2e
