// One asynchronous GIO operation (mounting a disc, unmounting or ejecting
// one), begun on GLib's default main context and waited for never longer
// than a given time.
//
// GIO's volume monitor and its operations belong to the default main
// context. Where nobody else runs that context (a tool, the archive
// station), the waiting thread runs a loop of its own on it. Where a
// window's thread runs it, that thread must never wait: the work is handed
// to the window's loop and another thread does the waiting (GioLoop).
//
// GLib 2.74 frees an error twice when a plain Unix mount's operation is
// cancelled through a GCancellable, so nothing is ever cancelled: on time
// out the wait is abandoned, and the late callback finds nobody waiting.
#pragma once

#include "disc/DiscLocator.h"

#include <gio/gio.h>

#include <chrono>
#include <functional>

namespace disc::gio_wait {

// Begins the operation with the callback and data it is given; false when
// there is nothing to begin (the callback then never comes). Runs on the
// thread that runs the default main context.
using Start = std::function<bool(GAsyncReadyCallback, gpointer)>;
// Completes it (its g_..._finish): 0 or an errno value.
using Finish = int (*)(GObject*, GAsyncResult*);

// Undoes an operation that succeeded after the wait for it ended (a disc
// mounted when it already counted as empty); gets the operation's source.
using Undo = void (*)(GObject*);

// 0 when the operation succeeded in time; ETIMEDOUT when it did not end in
// time; ENODEV when start began nothing; otherwise the operation's errno.
int StartAndWait(disc::GioLoop loop, const Start& start, Finish finish, std::chrono::milliseconds timeout,
                 Undo undoLate = nullptr);

// Runs work on the default main context and returns once it has run: at
// once with GioLoop::Own; with GioLoop::Window once the window's loop comes
// round to it. Work that has not begun within timeout never runs (false).
bool RunOnMainContext(disc::GioLoop loop, const std::function<void()>& work, std::chrono::milliseconds timeout);

// The errno value that says what a GIO error says; EIO for the rest.
int ErrnoOf(const GError* error);

// GLib 2.74 unmounts or ejects a plain Unix mount (no gvfs) by running a
// program and aborts the whole process through an assertion when that
// program is missing: true when mount may be handed to GIO for that.
bool SafeForProgram(GMount* mount, const char* program);

} // namespace disc::gio_wait
