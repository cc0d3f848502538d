// One replaceable service of the windows: the native implementation until
// something else is installed, as tests do with scripted ones.
#pragma once

#include <utility>

template <class Interface, class Native>
class CServiceSlot
{
public:
    static Interface& Get() { return s_installed != nullptr ? *s_installed : NativeInstance(); }

    // Owned by the caller; nullptr puts the native one back. Returns what
    // was installed before.
    static Interface* Install(Interface* services) { return std::exchange(s_installed, services); }

private:
    static Interface& NativeInstance()
    {
        static Native native;
        return native;
    }

    static inline Interface* s_installed = nullptr;
};
