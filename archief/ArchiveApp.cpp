#include "archief/ArchiveApp.h"

#include "archief/ArchiveDlg.h"
#include "startup/NativeStart.h"
#include "ui/DialogServices.h"

#include <wx/app.h>

namespace {

class CArchiveApp final : public wxApp
{
public:
    explicit CArchiveApp(std::function<station::StationSetup()> makeSetup) : m_makeSetup(std::move(makeSetup)) {}

    bool OnInit() override
    {
        // wxApp::OnInit would parse the command line again and refuse ours.
        SendWxDiagnosticsToStderr();
        SetAppName("talvora-archief");
        SetAppDisplayName(kProgramName);
        return true;
    }

    int OnRun() override
    {
        const station::StationSetup setup = m_makeSetup();
        const CNativeServices services(CNativeServices::Copy::No);
        const std::unique_ptr<IStationRunner> runner = SystemStationRunner(setup);
        CArchiveDlg dlg(*runner, setup.outputDir);
        SetTopWindow(&dlg);
        dlg.ShowModal();
        SetTopWindow(nullptr);
        return dlg.ExitStatus();
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
