// Scratch folders, file helpers and a scripted reporter for the copy tests.
#pragma once

#include "copy/CopyEngine.h"
#include "support/TempDir.h"

#include <algorithm>
#include <csignal>
#include <functional>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace copytest {

namespace fs = std::filesystem;

// One scratch folder for a test.
using CScratch = CTempDir;

inline void Write(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Content that differs at every position, so that misplaced chunks show.
inline std::string Pattern(std::size_t size, unsigned salt = 0)
{
    std::string s(size, '\0');
    unsigned x = 2166136261u ^ salt;
    for (std::size_t i = 0; i < size; ++i) {
        x = x * 16777619u + static_cast<unsigned>(i);
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

// Every name below root, relative, sorted; partial files show up too.
inline std::vector<std::string> Listing(const std::string& root)
{
    std::vector<std::string> names;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(root)))
        return names;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        names.push_back(it->path().lexically_relative(root).string());
    std::sort(names.begin(), names.end());
    return names;
}

// The engine's partial files are named ".talvora-<12 hex digits>.part".
inline bool HasPartialFiles(const std::string& root)
{
    for (const std::string& n : Listing(root)) {
        const std::string name = fs::path(n).filename();
        if (name.size() == 26 && name.rfind(".talvora-", 0) == 0 && name.substr(21) == ".part")
            return true;
    }
    return false;
}

// Answers questions from scripts; what is not scripted is answered with
// Cancel, so that a test never loops on Retry.
class CScriptedReporter : public copy::ICopyReporter
{
public:
    std::deque<copy::ReplaceAnswer> replaceAnswers;
    std::deque<copy::ErrorAnswer> errorAnswers;
    std::vector<std::string> replaceQuestions;
    std::vector<std::string> errorPaths;
    std::vector<std::string> errorReasons;
    std::atomic<bool> cancel{false};
    std::uint64_t cancelAfterBytes = 0; // 0: never
    std::uint64_t lastDone = 0, lastTotal = 0;
    int progressCalls = 0;

    void Progress(std::uint64_t done, std::uint64_t total) override
    {
        ++progressCalls;
        lastDone = done;
        lastTotal = total;
        if (cancelAfterBytes != 0 && done >= cancelAfterBytes)
            cancel = true;
    }
    copy::ReplaceAnswer AskReplace(const std::string& path) override
    {
        replaceQuestions.push_back(path);
        if (replaceAnswers.empty())
            return copy::ReplaceAnswer::Cancel;
        const auto a = replaceAnswers.front();
        replaceAnswers.pop_front();
        return a;
    }
    copy::ErrorAnswer AskError(const std::string& path, const std::string& reason) override
    {
        errorPaths.push_back(path);
        errorReasons.push_back(reason);
        if (errorAnswers.empty())
            return copy::ErrorAnswer::Cancel;
        const auto a = errorAnswers.front();
        errorAnswers.pop_front();
        return a;
    }
    bool Cancelled() const override { return cancel; }
};

// An engine that stops for ever in the middle of a file's data, at its
// stallAt-th read, so that a test can kill the process right there.
class CStallingEngine : public copy::CCopyEngine
{
public:
    explicit CStallingEngine(int stallAt) : m_stallAt(stallAt) { SetUseCopyFileRange(false); }
    int signalFd = -1;

protected:
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override
    {
        if (m_calls++ == m_stallAt) {
            const char c = 'x';
            (void)!::write(signalFd, &c, 1);
            for (;;)
                ::pause();
        }
        return CCopyEngine::ReadChunk(in, buffer, max, got);
    }

private:
    int m_stallAt;
    int m_calls = 0;
};

// Runs copy with a stalling engine in a child process and kills that with
// SIGKILL once the copy is stuck mid-file, as a crash or a power cut
// would end it. True when the child died of the signal.
inline bool CopyAndKillMidFile(int stallAt, const std::function<void(CStallingEngine&)>& copy)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::close(fds[0]);
        CStallingEngine engine(stallAt);
        engine.signalFd = fds[1];
        copy(engine);
        ::_exit(0);
    }
    ::close(fds[1]);
    char c = 0;
    const bool stalled = ::read(fds[0], &c, 1) == 1;
    ::close(fds[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return stalled && WIFSIGNALED(status);
}

} // namespace copytest
