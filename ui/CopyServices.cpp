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
                                 const CSettings& settings,
                                 const std::function<void(const std::string&)>& showDestination,
                                 const bookcheck::CheckReport& discCheck) override
    {
        CCopyProgress progress(owner);
        copyjob::CFileOperations operations(
            [&progress](const std::string& title, const std::function<void(copyops::ICopyReporter&)>& work) {
                progress.RunCopy(title, work);
            });
        return ::CopyBook(discRoot, destPath, settings, operations, showDestination, &discCheck);
    }

    void EjectDisc(const std::string& discRoot) override { ::EjectDisc(discRoot); }
};

using Slot = CServiceSlot<ICopyServices, CNativeCopyServices>;

} // namespace

ICopyServices& CopyServices()
{
    return Slot::Get();
}

ICopyServices* InstallCopyServices(ICopyServices* services)
{
    return Slot::Install(services);
}
