// One asynchronous GIO operation (mounting a disc, ejecting one), waited
// for on a main loop of its own and never for longer than a given time.
//
// GLib 2.74 frees an error twice when a plain Unix mount's operation is
// cancelled through a GCancellable, so nothing is ever cancelled: on time
// out the wait is abandoned, and the late callback finds a loop nobody runs.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <functional>

namespace gio_wait {

enum class Outcome { Succeeded, Failed, TimedOut };

// start begins the operation with the callback and data it is given;
// finish completes it (its g_..._finish) and says whether it succeeded.
Outcome StartAndWait(const std::function<void(GAsyncReadyCallback, gpointer)>& start,
                     std::function<bool(GObject*, GAsyncResult*)> finish, std::chrono::milliseconds timeout);

} // namespace gio_wait
