#include "ui/CopyServices.h"

#include "disc/DiscLocator.h"
#include "copy/CopyJob.h"
#include "disc/DriveRemount.h"
#include "disc/EjectDisc.h"
#include "copy/FileOperations.h"
#include "ui/CopyProgress.h"
#include "ui/ServiceSlot.h"

#include <glib.h>
#include <wx/app.h>

#include <atomic>
#include <list>
#include <memory>
#include <thread>

namespace {

class CNativeCopyServices final : public ICopyServices
{
public:
    // A search still running at the end of the program (the window was
    // closed during it) is waited for: its waits for GIO are bounded, and
    // nothing it uses is gone before it ends.
    ~CNativeCopyServices() override
    {
        for (Searcher& searcher : m_searchers)
            searcher.thread.join();
    }

    void FindDaisyDisc(std::function<void(const disc::FoundDisc&)> found) override
    {
        // The drives are read and the mounts waited for on a thread of its
        // own; GIO's part runs in this thread's main loop (GioLoop::Window).
        // The worker hands the answer back through GLib's main context and
        // never touches wxWidgets, which may be gone by the time it ends
        // (the window ended, the program ending); only the window's thread
        // touches `found`.
        struct Search
        {
            std::function<void(const disc::FoundDisc&)> found;
            disc::FoundDisc answer;
        };
        // Searches that ended are joined here; one still running (an
        // earlier window that was closed) is not waited for on this
        // thread, whose loop it may need.
        m_searchers.remove_if([](Searcher& searcher) {
            if (!searcher.ended)
                return false;
            searcher.thread.join();
            return true;
        });
        Searcher& searcher = m_searchers.emplace_back();
        auto* search = new Search{std::move(found), {}};
        searcher.thread = std::thread([search, &ended = searcher.ended] {
            search->answer = ::FindDaisyDisc(disc::GioLoop::Window);
            g_idle_add(
                [](gpointer data) -> gboolean {
                    const std::unique_ptr<Search> search(static_cast<Search*>(data));
                    // Handed on as a wx event, where the window's handlers
                    // run as they always do.
                    if (wxTheApp != nullptr)
                        wxTheApp->CallAfter([found = std::move(search->found), answer = search->answer] {
                            found(answer);
                        });
                    return G_SOURCE_REMOVE;
                },
                search);
            ended = true;
        });
    }

    check::CheckReport CheckBook(const std::string& bookFolder, const std::atomic<bool>& stop) override
    {
        check::CheckOptions options;
        options.stop = &stop;
        return copy::CheckBookFolder(bookFolder, options);
    }

    copy::CopyReport CopyBook(wxWindow* owner, const std::string& discRoot, const std::string& destPath,
                                 const wxString& heading, const CSettings& settings,
                                 const std::function<void(const std::string&)>& showDestination,
                                 const check::CheckReport* discCheck) override
    {
        CCopyProgress progress(owner, heading, std::move(m_lastWindow));
        // The copy is read back past a FUSE program's cache by mounting
        // the stick anew; GIO's part of that runs on this window's loop.
        copy::CFileOperations operations(
            [&progress](const std::string& title, const std::function<void(copy::ICopyReporter&)>& work) {
                progress.RunCopy(title, work);
            },
            nullptr,
            [](const std::string& mountPoint, std::string& mountedAt) {
                return disc::RemountDrive(disc::GioLoop::Window, mountPoint, mountedAt);
            });
        copy::CopyReport report =
            ::CopyBook(discRoot, destPath, settings, operations, showDestination, discCheck);
        m_lastWindow = progress.KeepShownWindow();
        return report;
    }

    copy::Completion FindCompletion(const std::string& discRoot, const std::string& destPath,
                                       bool replaceMode) override
    {
        // Looks at the output folder and the disc's book file; nothing copies.
        copy::CFileOperations operations([](const std::string&, const auto&) {});
        return copy::FindCompletion(discRoot, destPath, replaceMode, operations);
    }

    void CloseProgress() override { m_lastWindow.reset(); }

    void EjectDisc(const std::string& discRoot) override { ::EjectDisc(discRoot); }

private:
    struct Searcher
    {
        std::thread thread;
        std::atomic<bool> ended{false};
    };
    // Touched on the window's thread only.
    std::list<Searcher> m_searchers;
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
