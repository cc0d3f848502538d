// The unattended loop: a worker per drive that waits for a disc with a
// book, archives it once, ejects it (also when it failed, so the stack
// keeps moving) and waits for the next disc. Drives come and go as the
// drive list says; every worker copies on its own, limited only by the
// drive written to.
#pragma once

#include "station/ArchiveDisc.h"

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace station {

struct Drive
{
    std::string root;  // ending in '/'
    std::string name;  // how the staff know it: the device, or the folder
};

// The drives to watch; the system's, or TALVORA_DRIVES's folders.
class IDriveList
{
public:
    virtual ~IDriveList() = default;
    virtual std::vector<Drive> Drives() = 0;
    // Opens the tray; nothing for a folder.
    virtual void Eject(const Drive& drive) = 0;
};

// The running system's drives: mounts discs nobody mounted, lists the
// optical drives and mounted images; TALVORA_DRIVES's folders instead when
// that is set.
std::unique_ptr<IDriveList> SystemDrives();

enum class DriveState
{
    Waiting,  // no disc, or the handled one is still in
    Busy,     // archiving
    Gone,     // the drive left the list
};

// What the station tells the window or the terminal. Called from the
// workers' threads.
class IStationEvents
{
public:
    virtual ~IStationEvents() = default;
    virtual void DriveChanged(const Drive& drive, DriveState state) = 0;
    virtual void BookDone(const LogRow& row) = 0;
};

// What makes a disc that disc: a new one in the same drive differs, the
// same one left in does not. Empty when the drive holds no book.
std::string DiscSignature(const std::string& root);

// The exit status of a run, as talvora's: 0 all copied or there already,
// 3 only refusals, 2 stopped (a copy cancelled by a stop, or cancelled),
// 1 something failed or is incomplete.
int ExitStatusOf(const std::vector<Outcome>& outcomes, bool cancelled);

class CStation
{
public:
    CStation(StationSetup setup, IDriveList& drives, IStationEvents& events,
             std::chrono::milliseconds poll = std::chrono::milliseconds(1500));
    ~CStation();

    // Archives every disc in the drives now, in parallel, and returns when
    // all are done, or once a Stop from another thread has them ended;
    // that thread's owner joins it before the station goes.
    void RunOnce();

    // Watches until Stop.
    void Start();

    // Stops watching. cancelRunning: running copies stop as soon as their
    // current read returns (nothing stays under a book's name); otherwise
    // they finish. Returns when every worker has ended.
    void Stop(bool cancelRunning);

    int ExitStatus() const;

private:
    struct Worker;
    void Watch();
    void WorkerLoop(Worker& worker, bool once);
    void Handle(Worker& worker);
    void StartWorkers(const std::vector<Drive>& drives, bool once);
    // Joins the workers that ended (their drive went away: Gone), or all.
    void JoinWorkers(bool onlyEnded);

    StationSetup m_setup;
    IDriveList& m_drives;
    IStationEvents& m_events;
    std::chrono::milliseconds m_poll;
    CNameReservations m_names;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::atomic<bool> m_cancel{false};
    std::map<std::string, std::unique_ptr<Worker>> m_workers;
    std::vector<Outcome> m_outcomes;
    std::thread m_watcher;
};

} // namespace station
