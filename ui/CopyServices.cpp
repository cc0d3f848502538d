#include "ui/CopyServices.h"

#include "book/DiscLocator.h"
#include "copy/CopyJob.h"
#include "copy/EjectDisc.h"
#include "copy/FileOperations.h"
#include "ui/CopyProgress.h"

namespace {

class CNativeCopyServices final : public ICopyServices
{
public:
    std::string FindDaisyDisc(std::string& nccPath) override { return ::FindDaisyDisc(nccPath); }

    bool CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                  const CSettings& settings,
                  const std::function<void(const std::string&)>& showDestination) override
    {
        CCopyProgress progress(owner);
        copyjob::CFileOperations operations(progress);
        return ::CopyBook(discRoot, destPath, settings, operations, showDestination);
    }

    void EjectDisc(const std::string& discRoot) override { ::EjectDisc(discRoot); }
};

CNativeCopyServices& Native()
{
    static CNativeCopyServices native;
    return native;
}

ICopyServices* g_installed = nullptr;

} // namespace

ICopyServices& CopyServices()
{
    return g_installed != nullptr ? *g_installed : Native();
}

ICopyServices* InstallCopyServices(ICopyServices* services)
{
    ICopyServices* previous = g_installed;
    g_installed = services;
    return previous;
}
