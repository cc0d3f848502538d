// One replaceable service of the windows. The application installs the
// native one once at start (app/BookCopyApp.cpp); tests install scripted
// ones for their lifetime. Asking for a service nobody installed is a
// fault of the program, never a quiet fall-back onto the real machine.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <utility>

template <class Interface>
class CServiceSlot
{
public:
    static Interface& Get()
    {
        if (s_installed == nullptr) {
            std::fputs("talvora: a window asked for a service that was never installed\n", stderr);
            std::abort();
        }
        return *s_installed;
    }

    // Owned by the caller, who keeps it alive while installed; nullptr
    // leaves the slot empty. Returns what was installed before.
    static Interface* Install(Interface* services) { return std::exchange(s_installed, services); }

private:
    static inline Interface* s_installed = nullptr;
};
