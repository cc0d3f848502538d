// GIO's part of a search handed to the thread that runs GLib's main loop (a
// window's), while another thread waits for it within a time limit.
#include "disc/GioWait.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

struct HandoverCase
{
    const char* name;
    bool loopAfterWait;   // the main thread runs its loop only once the waiter gave up
    bool answerAfterWait; // the operation answers only once the waiter gave up
    int timeoutMs;        // a late answer comes this long after the wait began
    bool begins;      // the operation begins on the main thread
    int expected;
    int undone;       // a success that came too late is undone
};

PRINT_CASE_AS(HandoverCase, name)

class GioHandover : public testing::TestWithParam<HandoverCase>
{};

std::atomic<int> undone{0};

struct Pending
{
    GAsyncReadyCallback done;
    gpointer data;
    std::atomic<bool>* answered;
    const std::atomic<bool>* waitFor; // answers once this is true; nullptr: at once
};

gboolean Answer(gpointer p)
{
    auto* pending = static_cast<Pending*>(p);
    if (pending->waitFor != nullptr && !*pending->waitFor)
        return G_SOURCE_CONTINUE;
    GTask* task = g_task_new(nullptr, nullptr, pending->done, pending->data);
    g_task_return_boolean(task, TRUE);
    g_object_unref(task);
    *pending->answered = true;
    delete pending;
    return G_SOURCE_REMOVE;
}

TEST_P(GioHandover, BeginsOnTheLoopsThreadAndIsWaitedForElsewhere)
{
    const HandoverCase& c = GetParam();
    undone = 0;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    std::atomic<bool> answered{false}, waited{false}, begun{false}, looping{false};
    std::thread::id begunOn;
    int result = -1;
    // The loop runs before the wait begins, unless the case wants it busy:
    // a loop that started late on a slow machine would look busy too.
    g_idle_add([](gpointer l) -> gboolean {
        *static_cast<std::atomic<bool>*>(l) = true;
        return G_SOURCE_REMOVE;
    }, &looping);
    std::thread waiter([&] {
        while (!c.loopAfterWait && !looping)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        result = disc::gio_wait::StartAndWait(
            disc::GioLoop::Window,
            [&](GAsyncReadyCallback done, gpointer data) {
                begunOn = std::this_thread::get_id();
                begun = true;
                g_timeout_add(10, Answer, new Pending{done, data, &answered, c.answerAfterWait ? &waited : nullptr});
                return true;
            },
            [](GObject*, GAsyncResult* r) { return g_task_propagate_boolean(G_TASK(r), nullptr) ? 0 : EIO; },
            std::chrono::milliseconds(c.timeoutMs), [](GObject*) { ++undone; });
        waited = true;
    });
    while (c.loopAfterWait && !waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // Runs until the waiter is done and a late answer, if any, has come in;
    // an operation that never began has no answer to wait for, and the
    // checks below then fail instead of the loop running for ever.
    struct Quit
    {
        GMainLoop* loop;
        const std::atomic<bool>& waited;
        const std::atomic<bool>& answered;
        const std::atomic<bool>& begun;
    } quit{loop, waited, answered, begun};
    g_timeout_add(10, [](gpointer q) -> gboolean {
        auto* quit = static_cast<Quit*>(q);
        if (!quit->waited || (quit->begun && !quit->answered))
            return G_SOURCE_CONTINUE;
        g_main_loop_quit(quit->loop);
        return G_SOURCE_REMOVE;
    }, &quit);
    g_main_loop_run(loop);
    waiter.join();
    g_main_loop_unref(loop);
    EXPECT_EQ(c.expected, result);
    EXPECT_EQ(c.begins ? std::this_thread::get_id() : std::thread::id(), begunOn);
    EXPECT_EQ(c.undone, undone);
}

INSTANTIATE_TEST_SUITE_P(Table, GioHandover,
                         testing::ValuesIn(std::vector<HandoverCase>{
                             {"AnswerInTime", false, false, 60000, true, 0, 0},
                             {"LateAnswerAfterTheWaitEndedIsUndone", false, true, 300, true, ETIMEDOUT, 1},
                             {"LoopBusyTooLongNothingBegins", true, false, 50, false, ETIMEDOUT, 0},
                         }),
                         CaseName());

} // namespace
