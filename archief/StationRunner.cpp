#include "archief/StationRunner.h"

namespace {

class CSystemRunner final : public IStationRunner
{
public:
    explicit CSystemRunner(const station::StationSetup& setup) : m_setup(setup), m_drives(station::SystemDrives()) {}

    void Start(const std::string& outputDir, station::IStationEvents& events) override
    {
        m_station.reset();
        m_setup.outputDir = outputDir;
        m_station = std::make_unique<station::CStation>(m_setup, *m_drives, events);
        m_station->Start();
    }

    void Stop(bool cancelRunning) override
    {
        if (m_station)
            m_station->Stop(cancelRunning);
    }

private:
    station::StationSetup m_setup;
    std::unique_ptr<station::IDriveList> m_drives;
    std::unique_ptr<station::CStation> m_station;
};

} // namespace

std::unique_ptr<IStationRunner> SystemStationRunner(const station::StationSetup& setup)
{
    return std::make_unique<CSystemRunner>(setup);
}
