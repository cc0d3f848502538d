// The station without a window, for servers and scripts: one Dutch line
// per event on standard output.
#pragma once

#include "station/Station.h"

// Runs until the discs present are done (once) or until SIGINT/SIGTERM,
// which stops cleanly: running copies are cancelled, nothing half stays
// under a book's name. The exit status is the worst outcome's; 2 after a
// stop.
int RunHeadless(const station::StationSetup& setup, bool once);
