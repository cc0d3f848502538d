#include "archief/Headless.h"

#include "archief/ArchiveTexts.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <thread>

namespace {

class CTerminal final : public station::IStationEvents
{
public:
    void DriveChanged(const station::Drive& drive, station::DriveState state) override
    {
        Print(archief::text::DriveLine(drive, state));
    }
    void BookDone(const station::LogRow& row) override { Print(archief::text::BookLine(row)); }

    void Print(const std::string& line)
    {
        if (line.empty())
            return;
        // One whole line at a time; stdio's own lock keeps two workers'
        // lines apart without one of ours held across the write.
        const std::string text = line + "\n";
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
};

} // namespace

int RunHeadless(const station::StationSetup& setup, bool once)
{
    CTerminal terminal;
    terminal.Print(archief::text::ArchivingTo(setup.outputDir, setup.bagit));
    std::unique_ptr<station::IDriveList> drives = station::SystemDrives();
    // Blocked before any thread starts, so that only the wait below sees
    // them, in --eenmalig as while watching.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    station::CStation station(setup, *drives, terminal);
    std::atomic<bool> done{false};
    std::thread once_run;
    if (once)
        once_run = std::thread([&station, &done] {
            station.RunOnce();
            done = true;
        });
    else
        station.Start();
    bool stopped = false;
    while (!done) {
        // Woken now and then to see whether a --eenmalig run ended.
        const timespec tick{0, 200'000'000};
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
            stopped = true;
            break;
        }
    }
    if (stopped) {
        terminal.Print(archief::text::kStopping);
        station.Stop(true);
    }
    if (once_run.joinable())
        once_run.join();
    if (stopped)
        terminal.Print(archief::text::kStopped);
    return station.ExitStatus();
}
