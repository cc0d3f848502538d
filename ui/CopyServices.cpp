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

    copyjob::CopyReport CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                                 const wxString& heading, const CSettings& settings,
                                 const std::function<void(const std::string&)>& showDestination) override
    {
        CCopyProgress progress(owner, heading);
        copyjob::CFileOperations operations(
            [&progress](const std::string& title, const std::function<void(copyops::ICopyReporter&)>& work) {
                progress.RunCopy(title, work);
            });
        return ::CopyBook(discRoot, destPath, settings, operations, showDestination);
    }

    void EjectDisc(const std::string& discRoot) override { ::EjectDisc(discRoot); }
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
