// Drives modal windows from inside their own event loops.
#pragma once

#include <wx/app.h>
#include <wx/toplevel.h>

#include <functional>

// Runs `step` once the next modal loop processes events, that is after the
// window that is about to run has been put on screen.
inline void WhenModalRuns(std::function<void()> step)
{
    wxTheApp->CallAfter(std::move(step));
}

// The first shown top-level window of type T, or nullptr.
template <class T> T* FindShownWindow()
{
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* match = dynamic_cast<T*>(window); match != nullptr && match->IsShown())
            return match;
    return nullptr;
}
