// The copy's window: a progress window fed from the worker thread that runs
// the copy, with the Dutch replace question and error message.
//
// The native copy services (ui/CopyServices.cpp) hand one to the copy
// job's file operations for each book, so every copy of the job runs under
// it and every question of the job reaches the user through it.
//
// A window stays on screen after its copy until the next one is up or the
// run is over: between two copies (the temporary folder and the book, or
// two books of a disc) the copy window must not become active for a
// moment, or a screen reader takes the next window for an echo of a key
// and says nothing of it. Messages between copies open over it.
#pragma once

#include "copy/CopyEngine.h"
#include "copy/FileOperations.h"

#include <wx/string.h>

#include <functional>
#include <string>

#include <memory>

class wxDialog;
class wxWindow;

// A progress window left on screen; closed when this lets go of it.
struct ShownWindowCloser
{
    void operator()(wxWindow* window) const;
};
using ShownWindow = std::unique_ptr<wxWindow, ShownWindowCloser>;

// The progress window's Dutch texts, made in ui/WindowTexts.cpp with the
// other windows' (the copy layer's own are copy::text::, in copy/CopyTexts.h);
// also used by the tests.
namespace ui::progresstext {
wxString Bytes(std::uint64_t bytes);            // "12,3 MB"
wxString Done(std::uint64_t done, std::uint64_t total); // "12,3 MB van 600,0 MB"
wxString TimeLeft(double seconds);              // "Nog ongeveer 3 minuten"
int Percent(std::uint64_t done, std::uint64_t total); // whole percent, 0 to 100
// The progress line: "45 % – 135,0 MB van 300,0 MB – nog ongeveer 2 minuten".
wxString Summary(std::uint64_t done, std::uint64_t total, const wxString& state);
wxString ReplaceQuestion(const std::string& path);
wxString ErrorMessage(const std::string& path, const std::string& reason);
} // namespace ui::progresstext

class CCopyProgress
{
public:
    // `heading` (which book of a disc this is) is what a screen reader
    // hears on the progress line besides its figures; may be empty.
    // `before`: the window of an earlier copy, closed once this one's
    // first window is on screen.
    explicit CCopyProgress(wxWindow* parent = nullptr, const wxString& heading = wxString(),
                           ShownWindow before = nullptr);
    // Closes the last window, unless it was taken with KeepShownWindow.
    ~CCopyProgress();

    // The last copy's window, still on screen, for the next copy to close.
    ShownWindow KeepShownWindow() { return std::move(m_shown); }

    // Runs work on a worker thread while the progress window is shown
    // modally on this (the user-interface) thread; returns once the worker
    // has ended. A copy::CopyRunner.
    void RunCopy(const std::string& title, const std::function<void(copy::ICopyReporter&)>& work);

    // The window while a copy runs, else nullptr; user-interface thread only.
    wxDialog* ProgressWindow() const;

private:
    // The questions and messages, on the user-interface thread, through the
    // program's dialog services (which tests script).
    copy::ReplaceAnswer AskReplace(wxWindow* parent, const wxString& text);
    copy::ErrorAnswer AskError(wxWindow* parent, const wxString& text);

    class CWindow;
    class HeldWhileAsking;
    class CReporter;
    wxWindow* m_parent;
    wxString m_heading;
    // The window of the copy running, else nullptr.
    CWindow* m_window = nullptr;
    // The window of the last copy (or the one before this object's first),
    // still on screen.
    ShownWindow m_shown;
};
