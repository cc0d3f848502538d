#include "app/BookCopyApp.h"

#include "app/CommandLine.h"
#include "settings/ProfilePaths.h"
#include "settings/SettingsFile.h"
#include "startup/InstanceMarker.h"
#include "startup/NativeStart.h"
#include "ui/DialogServices.h"
#include "ui/SettingsDlg.h"

#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/log.h>

#include <string>
#include <vector>

CBookCopyApp::CBookCopyApp() = default;

CBookCopyApp::~CBookCopyApp() = default;

bool CBookCopyApp::Initialize(int& argc, wxChar** argv)
{
    // GTK reads its environment when it starts, and wxApp::Initialize
    // starts it.
    BeforeGtkStarts();
    return wxApp::Initialize(argc, argv);
}

bool CBookCopyApp::OnInit()
{
    // wxApp::OnInit would parse the command line and refuse "/setup".
    SendWxDiagnosticsToStderr();
    SetAppName(settings::profile_paths::kApplication);
    SetAppDisplayName(kProgramName);
    SetVendorName(settings::profile_paths::kVendor);
    return true;
}

int CBookCopyApp::OnRun()
{
    return static_cast<int>(InitInstance());
}

ExitStatus CBookCopyApp::InitInstance()
{
    m_marker = std::make_unique<CInstanceMarker>(settings::profile_paths::RuntimeFolder(), "TalvoraMutex");
    if (m_marker->GetState() == CInstanceMarker::State::AlreadyRunning)
        return ExitStatus::AlreadyRunning;

    // From here on every record loads from and saves to the user's file.
    delete wxConfigBase::Set(OpenSettingsFile(settings::profile_paths::SettingsFile()).release());
    const CNativeServices services(CNativeServices::Copy::Yes);

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
