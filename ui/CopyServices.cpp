#include "ui/CopyServices.h"

#include "disc/DiscLocator.h"
#include "copy/CopyJob.h"
#include "disc/EjectDisc.h"
#include "copy/FileOperations.h"
#include "ui/CopyProgress.h"
#include "ui/ServiceSlot.h"

namespace {

class CNativeCopyServices final : public ICopyServices
{
public:
    disc::FoundDisc FindDaisyDisc() override { return ::FindDaisyDisc(); }

    bookcheck::CheckReport CheckBook(const std::string& bookFolder) override
    {
        return copyjob::CheckBookFolder(bookFolder);
    }

    copyjob::CopyReport CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                                 const wxString& heading, const CSettings& settings,
                                 const std::function<void(const std::string&)>& showDestination,
                                 const bookcheck::CheckReport& discCheck) override
    {
        CCopyProgress progress(owner, heading, std::move(m_lastWindow));
        copyjob::CFileOperations operations(
            [&progress](const std::string& title, const std::function<void(copyops::ICopyReporter&)>& work) {
                progress.RunCopy(title, work);
            });
        copyjob::CopyReport report =
            ::CopyBook(discRoot, destPath, settings, operations, showDestination, &discCheck);
        m_lastWindow = progress.KeepShownWindow();
        return report;
    }

    void CloseProgress() override { m_lastWindow.reset(); }

    void EjectDisc(const std::string& discRoot) override { ::EjectDisc(discRoot); }

private:
    // The last copy's progress window, on screen until the next copy's is
    // or the run is over.
    ShownWindow m_lastWindow;
};

using Slot = CServiceSlot<ICopyServices>;

} // namespace

ICopyServices& NativeCopyServices()
{
    static CNativeCopyServices native;
    return native;
}

ICopyServices& CopyServices()
{
    return Slot::Get();
}

ICopyServices* InstallCopyServices(ICopyServices* services)
{
    return Slot::Install(services);
}
