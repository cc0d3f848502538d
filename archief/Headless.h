// The station without a window, for servers and scripts: one Dutch line
// per event on standard output.
#pragma once

#include "archief/ArchiveOptions.h"
#include "station/Station.h"

#include <string>

// One line for each event, as the terminal shows it.
std::string DriveLine(const station::Drive& drive, station::DriveState state);
std::string BookLine(const station::LogRow& row);

// Runs until the discs present are done (once) or until SIGINT/SIGTERM,
// which stops cleanly: running copies are cancelled, nothing half stays
// under a book's name. The exit status is the worst outcome's.
int RunHeadless(const station::StationSetup& setup, bool once);
