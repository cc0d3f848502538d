// What the copy window needs of the machine: the drives, the copy itself
// and the tray.
#pragma once

#include "copy/CopyJob.h"
#include "disc/DiscLocator.h"

#include <wx/string.h>

#include <atomic>
#include <functional>
#include <string>

class CSettings;
class wxWindow;

class ICopyServices
{
public:
    virtual ~ICopyServices() = default;

    // Looks for the drive holding a DAISY book and its ncc.html, package
    // file or discinfo.html (nothing found when no drive holds one) without
    // holding up the window: mounting a disc may take seconds. `found` is
    // called once with the answer, on the window's thread, from its event
    // loop and never from within this call.
    virtual void FindDaisyDisc(std::function<void(const disc::FoundDisc&)> found) = 0;

    // The book check of the book in bookFolder (the disc's root, or one
    // book's folder on it), as soon as the book is found. Runs on a thread
    // of the copy window's own, never on the window's. Once stop is true
    // (the window closing) it reads nothing more and returns.
    virtual check::CheckReport CheckBook(const std::string& bookFolder, const std::atomic<bool>& stop) = 0;

    // Copies the disc (or one book's folder on it) into destPath or, with
    // numbering, a free variant of it, which showDestination is told before
    // the copy starts. The progress window and its questions belong to
    // `owner`; a screen reader hears `heading` (which book of the disc this
    // is) as the window opens, when it is not empty. The report's message
    // is the caller's to show. discCheck: what CheckBook found there, so
    // that the disc is not read twice; nullptr to have the copy check it.
    virtual copy::CopyReport CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                                         const wxString& heading, const CSettings& settings,
                                         const std::function<void(const std::string&)>& showDestination,
                                         const check::CheckReport* discCheck) = 0;

    // An earlier copy of the book for destPath that stayed incomplete and
    // that copying it now completes; none by default.
    virtual copy::Completion FindCompletion(const std::string&, const std::string&, bool) { return {}; }

    // Closes the last copy's progress window, which stays on screen after
    // CopyBook so that the messages after a copy, and the next copy's
    // window, open over it rather than over the copy window.
    virtual void CloseProgress() {}

    // Opens the tray of the drive; silent, bounded in time.
    virtual void EjectDisc(const std::string& discRoot) = 0;
};

ICopyServices& CopyServices();

// Same rules as InstallDialogServices: owned by the caller, nullptr leaves
// none, the previous ones are returned.
ICopyServices* InstallCopyServices(ICopyServices* services);

// The machine's drives, the copy under a progress window and the tray,
// which the application installs.
ICopyServices& NativeCopyServices();
