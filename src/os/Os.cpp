#include "os/Os.h"

#include <cstdlib>

namespace os {

#ifdef _WIN32
Os& WindowsOs(); // WinOs.cpp
#endif

namespace {
Os* current = nullptr;
}

Os& Sys() {
    if (current)
        return *current;
#ifdef _WIN32
    return WindowsOs();
#else
    std::abort(); // host code must install an Os first
#endif
}

Os* SetSys(Os* os) {
    Os* prev = current;
    current = os;
    return prev;
}

} // namespace os
