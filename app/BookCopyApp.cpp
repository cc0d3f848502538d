#include "app/BookCopyApp.h"

#include "app/CommandLine.h"
#include "app/DutchMessages.h"
#include "app/InstanceMarker.h"
#include "settings/ProfilePaths.h"
#include "settings/SettingsFile.h"
#include "ui/CopyServices.h"
#include "ui/DialogServices.h"
#include "ui/SettingsDlg.h"

#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/log.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// wxWidgets' own assertion dialog means nothing to our users and would
// steal a screen reader's focus; a line on stderr is enough.
void AssertToStderr(const wxString& file, int line, const wxString& func, const wxString& cond,
                    const wxString& msg)
{
    std::fprintf(stderr, "talvora: %s:%d %s: %s %s\n", static_cast<const char*>(file.utf8_str()), line,
                 static_cast<const char*>(func.utf8_str()), static_cast<const char*>(cond.utf8_str()),
                 static_cast<const char*>(msg.utf8_str()));
}

} // namespace

CBookCopyApp::CBookCopyApp() = default;

CBookCopyApp::~CBookCopyApp() = default;

bool CBookCopyApp::Initialize(int& argc, wxChar** argv)
{
    // GTK reads the locale when it starts, and wxApp::Initialize starts it.
    ForceDutchMessages();
    return wxApp::Initialize(argc, argv);
}

bool CBookCopyApp::OnInit()
{
    // wxApp::OnInit would parse the command line and refuse "/setup".
    wxSetAssertHandler(AssertToStderr);
    // wxWidgets' own log window speaks English and steals the focus; the
    // program tells users about failures in its own Dutch messages.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    SetAppName(profile_paths::kApplication);
    SetAppDisplayName(kProgramName);
    SetVendorName(profile_paths::kVendor);
    return true;
}

int CBookCopyApp::OnRun()
{
    return static_cast<int>(InitInstance());
}

ExitStatus CBookCopyApp::InitInstance()
{
    m_marker = std::make_unique<CInstanceMarker>(profile_paths::RuntimeFolder(), "TalvoraMutex");
    if (m_marker->GetState() == CInstanceMarker::State::AlreadyRunning)
        return ExitStatus::AlreadyRunning;

    // From here on every record loads from and saves to the user's file.
    delete wxConfigBase::Set(OpenSettingsFile(profile_paths::SettingsFile()).release());
    // The windows reach the desktop and the machine through these alone.
    InstallDialogServices(&NativeDialogServices());
    InstallCopyServices(&NativeCopyServices());

    CSettingsDlg dlg;
    SetTopWindow(&dlg);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i].utf8_string());
    dlg.m_bSetupMode = IsSetupSwitch(CommandLineText(arguments));
    dlg.ShowModal();
    SetTopWindow(nullptr);
    return dlg.Outcome();
}

int CBookCopyApp::OnExit()
{
    {
        // After a failed save wxFileConfig tries once more here; the user
        // has already been told.
        wxLogNull quiet;
        delete wxConfigBase::Set(nullptr);
    }
    return wxApp::OnExit();
}
