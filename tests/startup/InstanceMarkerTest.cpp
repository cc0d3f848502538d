#include "startup/InstanceMarker.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using State = CInstanceMarker::State;

TEST(InstanceMarker, SecondMarkerSeesTheFirstUntilItIsGone)
{
    CTempDir dir;
    auto first = std::make_unique<CInstanceMarker>(dir / "run", "TalvoraMutex");
    EXPECT_EQ(State::Created, first->GetState());
    EXPECT_EQ(State::AlreadyRunning, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
    first.reset();
    EXPECT_EQ(State::Created, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
}

TEST(InstanceMarker, LockLeftByAKilledProcessDoesNotKeepTheNextOneOut)
{
    CTempDir dir;
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CInstanceMarker marker(dir / "run", "TalvoraMutex");
        const char state = marker.GetState() == State::Created ? 'c' : 'x';
        (void)!write(ready[1], &state, 1);
        pause();
        _exit(0);
    }
    char state = 0;
    ASSERT_EQ(1, read(ready[0], &state, 1));
    ASSERT_EQ('c', state);
    EXPECT_EQ(State::AlreadyRunning, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // The file is still there, with a dead process behind it.
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "run/TalvoraMutex"));
    EXPECT_EQ(State::Created, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
}

TEST(InstanceMarker, StaleOrForeignFileContentIsIrrelevant)
{
    CTempDir dir;
    std::filesystem::create_directory(dir.path() / "run");
    std::ofstream(dir / "run/TalvoraMutex") << "1\n"; // a live process id (init)
    EXPECT_EQ(State::Created, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
}

TEST(InstanceMarker, UnusableFolderMeansRunningWithoutAMarker)
{
    CTempDir dir;
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(State::Unavailable, CInstanceMarker(dir / "file", "TalvoraMutex").GetState());
    // A symbolic link in the lock's place is not followed.
    std::filesystem::create_directory(dir.path() / "run");
    std::filesystem::create_symlink(dir / "file", dir.path() / "run/TalvoraMutex");
    EXPECT_EQ(State::Unavailable, CInstanceMarker(dir / "run", "TalvoraMutex").GetState());
}

} // namespace
