#include "disc/GioWait.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

namespace disc::gio_wait {

namespace {

using Clock = std::chrono::steady_clock;

// Shared by the waiting thread and the callback, which may come after the
// waiting ended.
struct Operation
{
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    bool abandoned = false;
    int error = 0;
    Finish finish = nullptr;
    Undo undoLate = nullptr;
    GMainLoop* loop = nullptr; // GioLoop::Own: the waiting thread's loop

    ~Operation()
    {
        if (loop != nullptr)
            g_main_loop_unref(loop);
    }
};

using SharedOperation = std::shared_ptr<Operation>;

void OnDone(GObject* source, GAsyncResult* result, gpointer data)
{
    const std::unique_ptr<SharedOperation> op(static_cast<SharedOperation*>(data));
    const int error = (*op)->finish(source, result);
    std::lock_guard<std::mutex> lock((*op)->mutex);
    if ((*op)->abandoned && error == 0 && (*op)->undoLate != nullptr)
        (*op)->undoLate(source);
    (*op)->error = error;
    (*op)->finished = true;
    (*op)->changed.notify_all();
    // A loop nobody runs any more (a late callback) just stays stopped.
    if ((*op)->loop != nullptr)
        g_main_loop_quit((*op)->loop);
}

struct Timer
{
    GMainLoop* loop;
    bool fired = false;
};

gboolean OnTimeout(gpointer data)
{
    auto* timer = static_cast<Timer*>(data);
    timer->fired = true;
    g_main_loop_quit(timer->loop);
    return G_SOURCE_REMOVE;
}

// Work handed to the window's loop; the waiting thread may give up on it
// before it begins.
struct Handover
{
    std::mutex mutex;
    std::condition_variable changed;
    bool begun = false, done = false, abandoned = false;
    std::function<void()> work;
};

gboolean RunHandover(gpointer data)
{
    const std::unique_ptr<std::shared_ptr<Handover>> handover(static_cast<std::shared_ptr<Handover>*>(data));
    Handover& h = **handover;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (h.abandoned)
            return G_SOURCE_REMOVE;
        h.begun = true;
    }
    h.work();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.done = true;
    h.changed.notify_all();
    return G_SOURCE_REMOVE;
}

} // namespace

bool RunOnMainContext(disc::GioLoop loop, const std::function<void()>& work, std::chrono::milliseconds timeout)
{
    if (loop == disc::GioLoop::Own) {
        work();
        return true;
    }
    auto handover = std::make_shared<Handover>();
    // work may refer to the caller's objects: once it has begun, the caller
    // waits for its end.
    handover->work = work;
    // g_idle_add always queues, also when nobody owns the context now; an
    // invoke could run the work right here, on the wrong thread.
    g_idle_add_full(G_PRIORITY_DEFAULT, RunHandover, new std::shared_ptr<Handover>(handover), nullptr);
    std::unique_lock<std::mutex> lock(handover->mutex);
    if (!handover->changed.wait_for(lock, timeout, [&] { return handover->begun; })) {
        handover->abandoned = true;
        return false;
    }
    handover->changed.wait(lock, [&] { return handover->done; });
    return true;
}

int StartAndWait(disc::GioLoop loop, const Start& start, Finish finish, std::chrono::milliseconds timeout,
                 Undo undoLate)
{
    const auto deadline = Clock::now() + timeout;
    auto op = std::make_shared<Operation>();
    op->finish = finish;
    op->undoLate = undoLate;
    if (loop == disc::GioLoop::Own)
        op->loop = g_main_loop_new(nullptr, FALSE);
    bool begun = false;
    const bool ran = RunOnMainContext(
        loop,
        [&] {
            auto* callbackData = new SharedOperation(op);
            begun = start(OnDone, callbackData);
            if (!begun)
                delete callbackData;
        },
        timeout);
    if (!ran)
        return ETIMEDOUT;
    if (!begun)
        return ENODEV;

    if (loop == disc::GioLoop::Own) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        Timer timer{op->loop};
        const guint id = g_timeout_add(static_cast<guint>(std::max<long long>(1, left.count())), OnTimeout, &timer);
        if (!op->finished)
            g_main_loop_run(op->loop);
        if (!timer.fired)
            g_source_remove(id);
    }
    std::unique_lock<std::mutex> lock(op->mutex);
    op->changed.wait_until(lock, deadline, [&] { return op->finished; });
    op->abandoned = !op->finished;
    return op->finished ? op->error : ETIMEDOUT;
}

int ErrnoOf(const GError* error)
{
    if (error == nullptr || error->domain != G_IO_ERROR)
        return EIO;
    switch (error->code) {
    case G_IO_ERROR_NOT_FOUND:
        return ENOENT;
    case G_IO_ERROR_PERMISSION_DENIED:
        return EACCES;
    case G_IO_ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    case G_IO_ERROR_BUSY:
        return EBUSY;
    case G_IO_ERROR_TIMED_OUT:
        return ETIMEDOUT;
    case G_IO_ERROR_ALREADY_MOUNTED:
        return EALREADY;
    case G_IO_ERROR_NOT_MOUNTED:
        return EINVAL;
    case G_IO_ERROR_CANCELLED:
    case G_IO_ERROR_FAILED_HANDLED:
        return ECANCELED;
    default:
        return EIO;
    }
}

bool SafeForProgram(GMount* mount, const char* program)
{
    if (std::strcmp(G_OBJECT_TYPE_NAME(mount), "GUnixMount") != 0)
        return true;
    gchar* path = g_find_program_in_path(program);
    const bool found = path != nullptr;
    g_free(path);
    return found;
}

} // namespace disc::gio_wait
