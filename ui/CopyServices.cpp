#include "ui/CopyServices.h"

#include "book/DiscLocator.h"
#include "copy/CopyJob.h"
#include "copy/EjectDisc.h"
#include "copy/FileOperations.h"
#include "ui/CopyProgress.h"
#include "ui/ServiceSlot.h"

namespace {

class CNativeCopyServices final : public ICopyServices
{
public:
    std::string FindDaisyDisc(std::string& bookPath) override { return ::FindDaisyDisc(bookPath); }

    copyops::CopyResult CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                  const wxString& heading, const CSettings& settings,
                  const std::function<void(const std::string&)>& showDestination) override
    {
        CCopyProgress progress(owner, heading);
        copyjob::CFileOperations operations(progress);
        return ::CopyBook(discRoot, destPath, settings, operations, showDestination);
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
