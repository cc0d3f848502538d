#include "archief/Headless.h"

#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>

namespace {

class CTerminal final : public station::IStationEvents
{
public:
    void DriveChanged(const station::Drive& drive, station::DriveState state) override { Print(DriveLine(drive, state)); }
    void BookDone(const station::LogRow& row) override { Print(BookLine(row)); }

private:
    void Print(const std::string& line)
    {
        if (line.empty())
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        std::fputs((line + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
    std::mutex m_mutex;
};

} // namespace

std::string DriveLine(const station::Drive& drive, station::DriveState state)
{
    switch (state) {
    case station::DriveState::Busy:
        return drive.name + ": schijf gevonden, bezig.";
    case station::DriveState::Gone:
        return drive.name + ": station niet meer aanwezig.";
    case station::DriveState::Waiting:
        break;
    }
    return drive.name + ": wacht op een schijf.";
}

std::string BookLine(const station::LogRow& row)
{
    std::string line = row.drive + ": " + (row.title.empty() ? std::string("(geen titel)") : row.title) + ": " +
                       station::OutcomeWord(row.outcome);
    if (!row.folder.empty())
        line += " (map: " + row.folder + ")";
    line += ".";
    if (!row.message.empty()) {
        std::string message = row.message;
        for (char& c : message)
            if (c == '\n')
                c = ' ';
        line += " " + message;
    }
    return line;
}

int RunHeadless(const station::StationSetup& setup, bool once)
{
    std::printf("Archiveren naar %s%s\n", setup.outputDir.c_str(), setup.bagit ? " (als BagIt-tassen)." : ".");
    std::fflush(stdout);
    CTerminal terminal;
    std::unique_ptr<station::IDriveList> drives = station::SystemDrives();
    // Blocked before any worker starts, so that only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    station::CStation station(setup, *drives, terminal);
    if (once) {
        station.RunOnce();
    } else {
        station.Start();
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::puts("Stoppen: lopende kopie\xC3\xABn worden afgebroken.");
        std::fflush(stdout);
        station.Stop(true);
    }
    return station.ExitStatus();
}
