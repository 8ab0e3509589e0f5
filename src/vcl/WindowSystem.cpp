#include "vcl/WindowSystem.h"

#include <cstdlib>

namespace vcl {

#ifdef _WIN32
WindowSystem& Win32Ws(); // win32/Win32WindowSystem.cpp
#endif

namespace {
WindowSystem* current = nullptr;
}

WindowSystem& Ws() {
    if (current)
        return *current;
#ifdef _WIN32
    return Win32Ws();
#else
    std::abort(); // host code must install a window system first
#endif
}

WindowSystem* SetWs(WindowSystem* ws) {
    WindowSystem* prev = current;
    current = ws;
    return prev;
}

} // namespace vcl
