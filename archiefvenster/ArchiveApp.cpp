#include "archiefvenster/ArchiveApp.h"

#include "archiefvenster/ArchiveDlg.h"
#include "ui/DialogServices.h"

#include <wx/app.h>
#include <wx/log.h>

#include <cstdio>

namespace {

// wxWidgets' assertion dialog would steal a screen reader's focus.
void AssertToStderr(const wxString& file, int line, const wxString& func, const wxString& cond,
                    const wxString& msg)
{
    std::fprintf(stderr, "talvora-archief: %s:%d %s: %s %s\n", static_cast<const char*>(file.utf8_str()), line,
                 static_cast<const char*>(func.utf8_str()), static_cast<const char*>(cond.utf8_str()),
                 static_cast<const char*>(msg.utf8_str()));
}

class CArchiveApp final : public wxApp
{
public:
    explicit CArchiveApp(std::function<station::StationSetup()> makeSetup) : m_makeSetup(std::move(makeSetup)) {}

    bool OnInit() override
    {
        // wxApp::OnInit would parse the command line again and refuse ours.
        wxSetAssertHandler(AssertToStderr);
        delete wxLog::SetActiveTarget(new wxLogStderr);
        SetAppName("talvora-archief");
        SetAppDisplayName(kProgramName);
        return true;
    }

    int OnRun() override
    {
        const station::StationSetup setup = m_makeSetup();
        InstallDialogServices(&NativeDialogServices());
        const std::unique_ptr<IStationRunner> runner = SystemStationRunner(setup);
        int status = 0;
        {
            CArchiveDlg dlg(*runner, setup.outputDir);
            SetTopWindow(&dlg);
            dlg.ShowModal();
            SetTopWindow(nullptr);
            status = dlg.ExitStatus();
        }
        InstallDialogServices(nullptr);
        return status;
    }

private:
    std::function<station::StationSetup()> m_makeSetup;
};

} // namespace

int RunArchiveWindow(int argc, char** argv, std::function<station::StationSetup()> makeSetup)
{
    wxApp::SetInstance(new CArchiveApp(std::move(makeSetup)));
    return wxEntry(argc, argv);
}
