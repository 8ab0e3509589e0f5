// The mode decision, the start-up globals and PumpWait.
#pragma once

#include <cstdint>
#include <string>

#include "os/Os.h"

enum TSaverMode { smSaver = 0, smPreview = 1, smPassword = 2, smConfig = 3 };

// The single-instance key, the application title and both windows' caption.
extern const wchar_t kSaverTitle[];

// Written once by DecideMode, read-only afterwards.
extern TSaverMode SaverMode;
extern os::Handle ParentWnd;
extern os::Rect PreviewRect;
extern os::Handle PrevInstanceWnd;

// The mode named by a first argument: the sixteen two-character switches,
// compared exactly; anything else is smConfig.
TSaverMode ModeFromSwitch(const std::wstring& arg);

// Fills the four globals from the command line and the window list. Runs
// once, before any window of ours carries the title.
void DecideMode();

// Dispatches messages until more than ms milliseconds have passed; at least
// one dispatch pass, safe across the wrap of the tick count.
void PumpWait(uint32_t ms);
