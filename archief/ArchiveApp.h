// talvora-archief with its window: starts GTK, installs the native
// services, runs the station's window until it is stopped.
#pragma once

#include "station/ArchiveDisc.h"

#include <functional>

// Runs the window; `makeSetup` is called once wxWidgets runs (it reads
// Talvora's settings file). Returns the exit status. Dutch messages must be
// set up before (startup/DutchMessages).
int RunArchiveWindow(int argc, char** argv, std::function<station::StationSetup()> makeSetup);
