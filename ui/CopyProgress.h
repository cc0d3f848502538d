// The copy's window: a progress window fed from the worker thread that runs
// the copy, with the Dutch replace question and error message.
//
// The native copy services (ui/CopyServices.cpp) hand one to the copy
// job's file operations for each book, so every copy of the job runs under
// it and every question of the job reaches the user through it.
#pragma once

#include "copy/CopyEngine.h"
#include "copy/FileOperations.h"

#include <wx/string.h>

#include <functional>
#include <string>

class wxDialog;
class wxWindow;

// Dutch texts of the window, also used by the tests.
namespace copytext {
wxString Bytes(std::uint64_t bytes);            // "12,3 MB"
wxString Done(std::uint64_t done, std::uint64_t total); // "12,3 MB van 600,0 MB"
wxString TimeLeft(double seconds);              // "Nog ongeveer 3 minuten"
int Percent(std::uint64_t done, std::uint64_t total); // whole percent, 0 to 100
// The progress line: "45 % – 135,0 MB van 300,0 MB – nog ongeveer 2 minuten".
wxString Summary(std::uint64_t done, std::uint64_t total, const wxString& state);
// The window title with its folder path cut to the book folder's own name.
wxString ShortTitle(const wxString& title);
wxString ReplaceQuestion(const std::string& path);
wxString ErrorMessage(const std::string& path, const std::string& reason);
} // namespace copytext

class CCopyProgress
{
public:
    // `heading` (which book of a disc this is) is what a screen reader
    // hears on the progress line besides its figures; may be empty.
    explicit CCopyProgress(wxWindow* parent = nullptr, const wxString& heading = wxString());
    ~CCopyProgress();

    // Runs work on a worker thread while the progress window is shown
    // modally on this (the user-interface) thread; returns once the worker
    // has ended. A copyjob::CopyRunner.
    void RunCopy(const std::string& title, const std::function<void(copyops::ICopyReporter&)>& work);

    // The window while a copy runs, else nullptr; user-interface thread only.
    wxDialog* ProgressWindow() const;

private:
    // The questions and messages, on the user-interface thread, through the
    // program's dialog services (which tests script).
    copyops::ReplaceAnswer AskReplace(wxWindow* parent, const wxString& text);
    copyops::ErrorAnswer AskError(wxWindow* parent, const wxString& text);

    class CWindow;
    class HeldWhileAsking;
    class CReporter;
    wxWindow* m_parent;
    wxString m_heading;
    CWindow* m_window = nullptr;
};
