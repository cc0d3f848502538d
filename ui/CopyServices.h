// What the copy window needs of the machine: the drives, the copy itself
// and the tray. The native services are used until a test installs its own.
#pragma once

#include "copy/CopyEngine.h"

#include <wx/string.h>

#include <functional>
#include <string>

class CSettings;
class wxWindow;

class ICopyServices
{
public:
    virtual ~ICopyServices() = default;

    // The root (ending in '/') of the drive holding a DAISY book, with the
    // path of its ncc.html, package file or discinfo.html in bookPath; ""
    // and bookPath untouched when none.
    virtual std::string FindDaisyDisc(std::string& bookPath) = 0;

    // Copies the disc (or one book's folder on it) into destPath or, with numbering, a free variant of
    // it, which showDestination is told before the copy starts. The progress
    // window and its questions belong to `owner`; a screen reader hears
    // `heading` (which book of the disc this is) as the window opens, when
    // it is not empty. Copied when the book
    // arrived whole; whatever went otherwise the user has been told.
    virtual copyops::CopyResult CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                          const wxString& heading, const CSettings& settings,
                          const std::function<void(const std::string&)>& showDestination) = 0;

    // Opens the tray of the drive; silent, bounded in time.
    virtual void EjectDisc(const std::string& discRoot) = 0;
};

ICopyServices& CopyServices();

// Same rules as InstallDialogServices: owned by the caller, nullptr puts
// the native services back, the previous ones are returned.
ICopyServices* InstallCopyServices(ICopyServices* services);
