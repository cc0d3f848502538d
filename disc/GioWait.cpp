#include "disc/GioWait.h"

#include <algorithm>
#include <utility>

namespace gio_wait {

namespace {

// Shared by the waiting caller and the callback, which may come after the
// caller gave up; whoever is last frees it.
struct State
{
    GMainLoop* loop = nullptr;
    int refs = 2;
    bool finished = false;
    bool timedOut = false;
    bool ok = false;
    std::function<bool(GObject*, GAsyncResult*)> finish;
};

void Release(State* state)
{
    if (--state->refs == 0) {
        g_main_loop_unref(state->loop);
        delete state;
    }
}

void OnDone(GObject* source, GAsyncResult* result, gpointer data)
{
    auto* state = static_cast<State*>(data);
    state->ok = state->finish(source, result);
    state->finished = true;
    if (!state->timedOut)
        g_main_loop_quit(state->loop);
    Release(state);
}

gboolean OnTimeout(gpointer data)
{
    auto* state = static_cast<State*>(data);
    state->timedOut = true;
    g_main_loop_quit(state->loop);
    return G_SOURCE_REMOVE;
}

} // namespace

Outcome StartAndWait(const std::function<void(GAsyncReadyCallback, gpointer)>& start,
                     std::function<bool(GObject*, GAsyncResult*)> finish, std::chrono::milliseconds timeout)
{
    auto* state = new State;
    state->loop = g_main_loop_new(nullptr, FALSE);
    state->finish = std::move(finish);
    start(OnDone, state);
    const guint timer = g_timeout_add(static_cast<guint>(std::max<long long>(1, timeout.count())), OnTimeout, state);
    if (!state->finished)
        g_main_loop_run(state->loop);
    if (!state->timedOut)
        g_source_remove(timer);
    const Outcome outcome = state->finished ? (state->ok ? Outcome::Succeeded : Outcome::Failed) : Outcome::TimedOut;
    if (!state->finished)
        state->timedOut = true; // the late callback must not quit a loop nobody runs
    Release(state);
    return outcome;
}

} // namespace gio_wait
