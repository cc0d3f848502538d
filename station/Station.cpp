#include "station/Station.h"

#include "disc/DiscLocator.h"
#include "disc/EjectDisc.h"

#include <algorithm>
#include <sys/stat.h>

namespace station {

struct CStation::Worker
{
    Drive drive;
    std::thread thread;
    std::string lastDisc;             // the disc handled last, while it is in
    std::atomic<bool> ended{false};
};

namespace {

class CSystemDrives final : public IDriveList
{
public:
    std::vector<Drive> Drives() override
    {
        std::vector<Drive> drives;
        if (const auto folders = disc::DriveFolders()) {
            for (const std::string& root : *folders)
                drives.push_back({root, root});
            return drives;
        }
        disc::MountUnmountedDiscs(m_platform);
        const std::vector<disc::MountEntry> mounts = m_platform.Mounts();
        for (const std::string& root : disc::CandidateRoots(m_platform)) {
            Drive drive{root, root};
            for (const disc::MountEntry& m : mounts)
                if (m.target + "/" == root || m.target == root)
                    drive.name = m.source;
            drives.push_back(drive);
        }
        return drives;
    }
    void Eject(const Drive& drive) override { ::EjectDisc(drive.root); }

private:
    disc::CSystemDiscPlatform m_platform;
};

int Rank(int status)
{
    // Worst first: a failure, then a stop, then a refusal.
    switch (status) {
    case 1:
        return 3;
    case 2:
        return 2;
    case 3:
        return 1;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<IDriveList> SystemDrives()
{
    return std::make_unique<CSystemDrives>();
}

std::string DiscSignature(const std::string& root)
{
    const std::string name = disc::FindBookFileName(root);
    struct stat disc, book;
    if (name.empty() || ::stat(root.c_str(), &disc) != 0 || ::stat((root + name).c_str(), &book) != 0)
        return {};
    return std::to_string(disc.st_dev) + ':' + std::to_string(book.st_ino) + ':' + std::to_string(book.st_size) +
           ':' + std::to_string(book.st_mtim.tv_sec) + '.' + std::to_string(book.st_mtim.tv_nsec) + ':' + name;
}

int ExitStatusOf(const std::vector<Outcome>& outcomes, bool cancelled)
{
    int worst = cancelled ? 2 : 0;
    for (const Outcome outcome : outcomes) {
        int status = 0;
        switch (outcome) {
        case Outcome::Copied:
        case Outcome::AlreadyThere:
        // The damaged copy was replaced by a whole one from the disc: the
        // archive holds the book again, and the row says what was found.
        case Outcome::ArchiveDamaged:
            status = 0;
            break;
        case Outcome::Failed:
        case Outcome::Incomplete:
            status = 1;
            break;
        case Outcome::Stopped:
            status = 2;
            break;
        case Outcome::Refused:
            status = 3;
            break;
        }
        if (Rank(status) > Rank(worst))
            worst = status;
    }
    return worst;
}

CStation::CStation(StationSetup setup, IDriveList& drives, IStationEvents& events, std::chrono::milliseconds poll)
    : m_setup(std::move(setup)), m_drives(drives), m_events(events), m_poll(poll)
{
}

CStation::~CStation()
{
    Stop(true);
}

void CStation::StartWorkers(const std::vector<Drive>& drives, bool once)
{
    // Threads start under the lock, so that Stop or a join never finds a
    // worker half made; each says its first state itself, outside it.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping)
        return;
    for (const Drive& drive : drives) {
        if (m_workers.count(drive.root))
            continue;
        auto worker = std::make_unique<Worker>();
        worker->drive = drive;
        Worker& w = *worker;
        m_workers[drive.root] = std::move(worker);
        w.thread = std::thread([this, &w, once] { WorkerLoop(w, once); });
    }
}

void CStation::JoinWorkers(bool onlyEnded)
{
    // Taken out under the lock and joined outside it: a worker may need
    // the lock to end, and whoever took it out alone joins it.
    std::vector<std::unique_ptr<Worker>> ending;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // While stopping every worker ends, and no drive went away.
        if (onlyEnded && m_stopping)
            return;
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            if (!onlyEnded || it->second->ended) {
                ending.push_back(std::move(it->second));
                it = m_workers.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const std::unique_ptr<Worker>& w : ending) {
        w->thread.join();
        if (onlyEnded)
            m_events.DriveChanged(w->drive, DriveState::Gone);
    }
}

void CStation::RunOnce()
{
    StartWorkers(m_drives.Drives(), true);
    JoinWorkers(false);
}

void CStation::Start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_watcher.joinable() && !m_stopping)
        m_watcher = std::thread([this] { Watch(); });
}

void CStation::Watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        // A worker whose drive left the list (a real drive's mount point
        // goes with its disc) has ended; one comes for each new drive. The
        // drive list may wait for GIO, the events write to the terminal:
        // neither under the lock.
        JoinWorkers(true);
        StartWorkers(m_drives.Drives(), false);
        lock.lock();
        m_wake.wait_for(lock, m_poll, [this] { return m_stopping; });
    }
}

void CStation::WorkerLoop(Worker& worker, bool once)
{
    m_events.DriveChanged(worker.drive, DriveState::Waiting);
    for (;;) {
        const std::string disc = DiscSignature(worker.drive.root);
        if (!disc.empty() && disc != worker.lastDisc) {
            Handle(worker);
            worker.lastDisc = disc;
        } else if (disc.empty()) {
            worker.lastDisc.clear();
            struct stat st;
            // A mount point that went away with its disc is no drive now.
            if (!once && ::stat(worker.drive.root.c_str(), &st) != 0)
                break;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        if (once || m_stopping)
            break;
        m_wake.wait_for(lock, m_poll, [this] { return m_stopping; });
        if (m_stopping)
            break;
    }
    worker.ended = true;
}

void CStation::Handle(Worker& worker)
{
    m_events.DriveChanged(worker.drive, DriveState::Busy);
    const std::vector<LogRow> rows =
        ArchiveDisc(worker.drive.root, worker.drive.name, m_setup, m_names, m_cancel,
                    [this](const LogRow& row) { m_events.BookDone(row); });
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const LogRow& row : rows)
            m_outcomes.push_back(row.outcome);
    }
    // Also after a failure: the stack keeps moving, the log says what
    // became of this disc.
    m_drives.Eject(worker.drive);
    m_events.DriveChanged(worker.drive, DriveState::Waiting);
}

void CStation::Stop(bool cancelRunning)
{
    std::thread watcher;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        if (cancelRunning)
            m_cancel = true;
        watcher = std::move(m_watcher);
    }
    m_wake.notify_all();
    if (watcher.joinable())
        watcher.join();
    JoinWorkers(false);
}

int CStation::ExitStatus() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return ExitStatusOf(m_outcomes, m_cancel.load());
}

} // namespace station
