// What the station's window needs of the station: starting it on an output
// folder and stopping it. The window's tests run it with a fake.
#pragma once

#include "station/Station.h"

#include <memory>
#include <string>

class IStationRunner
{
public:
    virtual ~IStationRunner() = default;
    // Watches every drive, archiving into outputDir (absolute, ending in
    // '/'); events come on the workers' threads.
    virtual void Start(const std::string& outputDir, station::IStationEvents& events) = 0;
    // Returns when every worker has ended; cancelRunning as
    // CStation::Stop. Called off the window's thread, since letting a copy
    // finish can take minutes. Nothing happens when none runs.
    virtual void Stop(bool cancelRunning) = 0;
};

// The real station on the system's drives (or TALVORA_DRIVES's folders).
std::unique_ptr<IStationRunner> SystemStationRunner(const station::StationSetup& setup);
