// Copy engine against `cp -r`, pair by pair on the same tree in the same run.
//
//   copy_bench [--rounds N] [--dir FOLDER] [--book-dir FOLDER] [--read-write]
//              [--big-file MB]
//
// Generates about 600 MB shaped like a DAISY book (250 audio files of
// 2.4 MB and 250 text files of 5 KB in two folders, plus an NCC) in the
// book folder (default: FOLDER, which defaults to $TMPDIR or /var/tmp; a
// book folder on another file system, e.g. /dev/shm, copies across file
// systems as from a disc), then for each round copies it once with
// cp -r and once with the engine, in alternating order, and prints the
// median ratio of the engine's time (without its final flush) to cp's. The
// flush is timed on its own. Then times the whole copy path a user waits
// for (the copy job into a hidden work folder, its flush and the rename
// into place) with VerifyCopy=0 against cp -r followed by sync, and the
// verified copy (VerifyCopy=1: hashed on the way, every file read back from
// the drive and compared) against what a careful user does by hand: cp -r,
// sync, the copy dropped from the page cache, diff -r against the disc.
// Also prints the peak memory
// of this process and of cp, and how long a cancel takes to stop a running
// copy.
#include "copy/CopyEngine.h"
#include "copy/FileOperations.h"
#include "settings/Settings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kAudioSize = 2516582; // 2.4 MB
constexpr std::size_t kTextSize = 5 * 1024;
constexpr int kFilesPerKind = 250;

class CQuietReporter final : public copy::ICopyReporter
{
public:
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    void Progress(std::uint64_t d, std::uint64_t) override { done = d; }
    copy::ReplaceAnswer AskReplace(const std::string&) override { return copy::ReplaceAnswer::Yes; }
    copy::ErrorAnswer AskError(const std::string& path, const std::string& reason) override
    {
        std::fprintf(stderr, "error: %s: %s\n", path.c_str(), reason.c_str());
        return copy::ErrorAnswer::Cancel;
    }
    bool Cancelled() const override { return cancel; }
};

void WriteFile(const fs::path& path, std::size_t size, unsigned salt, std::vector<char>& buffer)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    unsigned x = 2166136261u ^ salt;
    for (std::size_t written = 0; written < size;) {
        const std::size_t n = std::min(buffer.size(), size - written);
        for (std::size_t i = 0; i < n; ++i) {
            x = x * 1664525u + 1013904223u;
            buffer[i] = static_cast<char>(x >> 24);
        }
        if (::write(fd, buffer.data(), n) != static_cast<ssize_t>(n)) {
            std::perror("write");
            std::exit(1);
        }
        written += n;
    }
    ::close(fd);
}

void MakeBook(const fs::path& root, std::size_t bigFileMb)
{
    std::vector<char> buffer(1 << 20);
    fs::create_directories(root / "audio");
    fs::create_directories(root / "text");
    // An NCC the book check accepts, so the job copies it as a whole book.
    {
        std::FILE* ncc = std::fopen((root / "ncc.html").c_str(), "w");
        std::fprintf(ncc, "<html><head><title>Bench</title><meta name=\"dc:title\" content=\"Bench\"/></head><body>");
        for (int i = 0; i < 1500; ++i)
            std::fprintf(ncc, "<p>Regel %04d van een lange inhoudsopgave.</p>\n", i);
        std::fprintf(ncc, "</body></html>\n");
        std::fclose(ncc);
    }
    for (int i = 0; i < kFilesPerKind; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "a%04d.mp3", i);
        WriteFile(root / "audio" / name, kAudioSize, static_cast<unsigned>(i), buffer);
        std::snprintf(name, sizeof name, "t%04d.smil", i);
        WriteFile(root / "text" / name, kTextSize, static_cast<unsigned>(i + 1000), buffer);
    }
    if (bigFileMb > 0)
        WriteFile(root / "big.bin", bigFileMb << 20, 99, buffer);
}

double CpuSeconds(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    auto secs = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return secs(usage.ru_utime) + secs(usage.ru_stime);
}

double g_lastCpu = 0; // processor time of the last timed copy

double RunCp(const fs::path& from, const fs::path& to)
{
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    const std::string src = from.string(), dst = to.string();
    const char* argv[] = {"cp", "-r", src.c_str(), dst.c_str(), nullptr};
    const auto start = Clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::perror("cp");
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    g_lastCpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    return seconds;
}

struct EngineTime
{
    double copy;  // without the flush
    double flush;
};

bool g_readWrite = false;

EngineTime RunEngine(const fs::path& from, const fs::path& to)
{
    copy::CCopyEngine engine;
    engine.SetUseCopyFileRange(!g_readWrite);
    CQuietReporter reporter;
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = Clock::now();
    if (!engine.CopyContent(from.string() + "/", to.string(), false, reporter)) {
        std::fprintf(stderr, "engine copy failed\n");
        std::exit(1);
    }
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    g_lastCpu = CpuSeconds(RUSAGE_SELF) - cpuBefore; // includes the flush call, which mostly waits
    return {total - engine.LastFlushSeconds(), engine.LastFlushSeconds()};
}

// Runs each copy of the job on this thread, without a window.
void RunHeadless(const std::string&, const std::function<void(copy::ICopyReporter&)>& work)
{
    CQuietReporter reporter;
    work(reporter);
}

// The copy job from the disc to a new book folder in out, as the copy
// window runs it, up to the book under its own name on the device.
double RunJob(const fs::path& from, const fs::path& out, bool verify)
{
    CSettings settings;
    settings.ConfirmOverwrite = 0;
    settings.CopyViaTemp = 0;
    settings.VerifyCopy = verify ? 1 : 0;
    copy::CFileOperations ops(RunHeadless);
    fs::create_directories(out);
    const auto start = Clock::now();
    const copy::CopyReport report = CopyBook(from.string() + "/", (out / "Boek").string(), settings, ops, nullptr);
    if (report.result != copy::CopyResult::Copied) {
        std::fprintf(stderr, "job copy failed: %s\n", report.message.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double RunCpSync(const fs::path& from, const fs::path& to)
{
    const auto start = Clock::now();
    RunCp(from, to);
    ::sync();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Bytes this process has made the block layer read, from /proc/self/io.
std::uint64_t ReadBytes()
{
    std::FILE* io = std::fopen("/proc/self/io", "r");
    unsigned long long value = 0;
    char line[128];
    while (io != nullptr && std::fgets(line, sizeof line, io) != nullptr)
        if (std::sscanf(line, "read_bytes: %llu", &value) == 1)
            break;
    if (io != nullptr)
        std::fclose(io);
    return value;
}

// What a careful user does by hand: cp -r, sync, the copy dropped from the
// page cache (file by file, as the copy job does; dropping every cache would
// send diff back to the disc too), diff -r against the disc.
double RunCpSyncDiff(const fs::path& from, const fs::path& to)
{
    const auto start = Clock::now();
    RunCp(from, to);
    ::sync();
    for (const auto& entry : fs::recursive_directory_iterator(to)) {
        if (!entry.is_regular_file())
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
    const std::string src = from.string(), dst = to.string();
    const char* argv[] = {"diff", "-r", "-q", src.c_str(), dst.c_str(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "diff", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) {
        std::perror("diff");
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "diff found differences\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void Settle(const fs::path& out)
{
    std::error_code ec;
    fs::remove_all(out, ec);
    ::sync();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long PeakKb(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    return usage.ru_maxrss;
}

// Starts a copy, asks it to stop once it is well under way and measures
// how long it takes to return.
double CancelLatency(const fs::path& from, const fs::path& to)
{
    copy::CCopyEngine engine;
    engine.SetUseCopyFileRange(!g_readWrite);
    CQuietReporter reporter;
    Clock::time_point asked, ended;
    std::thread worker([&] {
        engine.CopyContent(from.string() + "/", to.string(), false, reporter);
        ended = Clock::now();
    });
    while (reporter.done < 100u * 1024 * 1024)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    asked = Clock::now();
    reporter.cancel = true;
    worker.join();
    return std::chrono::duration<double>(ended - asked).count();
}

} // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    std::size_t bigFileMb = 0;
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = tmp != nullptr && tmp[0] == '/' ? tmp : "/var/tmp";
    fs::path bookBase;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            base = argv[++i];
        else if (a == "--book-dir" && i + 1 < argc)
            bookBase = argv[++i];
        else if (a == "--read-write")
            g_readWrite = true;
        else if (a == "--big-file" && i + 1 < argc)
            bigFileMb = static_cast<std::size_t>(std::atol(argv[++i]));
        else {
            std::fprintf(stderr,
                         "usage: %s [--rounds N] [--dir FOLDER] [--book-dir FOLDER] [--read-write] [--big-file MB]\n",
                         argv[0]);
            return 2;
        }
    }
    std::string pattern = (base / "talvora-copy-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern, out = work / "out";
    fs::path bookWork;
    if (!bookBase.empty()) {
        std::string bookPattern = (bookBase / "talvora-copy-bench-XXXXXX").string();
        if (::mkdtemp(bookPattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        bookWork = bookPattern;
    }
    const fs::path book = (bookWork.empty() ? work : bookWork) / "book";

    std::printf("generating the book in %s, copies into %s%s ...\n", book.c_str(), out.c_str(),
                g_readWrite ? " (engine forced to read/write)" : "");
    MakeBook(book, bigFileMb);
    ::sync();
    // One untimed pass each, so both start from a warm page cache.
    RunCp(book, out);
    Settle(out);
    RunEngine(book, out);
    Settle(out);

    std::vector<double> ratios, cpTimes, engineTimes, flushTimes, cpuRatios;
    std::printf("%5s %10s %12s %10s %8s %10s\n", "round", "cp -r (s)", "engine (s)", "flush (s)", "ratio", "cpu ratio");
    for (int r = 0; r < rounds; ++r) {
        double cp = 0, cpCpu = 0, engineCpu = 0;
        EngineTime engine{};
        if (r % 2 == 0) {
            cp = RunCp(book, out);
            cpCpu = g_lastCpu;
            Settle(out);
            engine = RunEngine(book, out);
            engineCpu = g_lastCpu;
            Settle(out);
        } else {
            engine = RunEngine(book, out);
            engineCpu = g_lastCpu;
            Settle(out);
            cp = RunCp(book, out);
            cpCpu = g_lastCpu;
            Settle(out);
        }
        const double ratio = engine.copy / cp;
        cpuRatios.push_back(engineCpu / cpCpu);
        ratios.push_back(ratio);
        cpTimes.push_back(cp);
        engineTimes.push_back(engine.copy);
        flushTimes.push_back(engine.flush);
        std::printf("%5d %10.3f %12.3f %10.3f %8.3f %10.3f\n", r + 1, cp, engine.copy, engine.flush, ratio,
                    cpuRatios.back());
    }

    std::vector<double> jobRatios, jobTimes, cpSyncTimes;
    std::printf("\n%5s %16s %18s %8s\n", "round", "cp -r + sync (s)", "job, flushed (s)", "ratio");
    for (int r = 0; r < rounds; ++r) {
        double cp = 0, job = 0;
        if (r % 2 == 0) {
            cp = RunCpSync(book, out);
            Settle(out);
            job = RunJob(book, out, false);
            Settle(out);
        } else {
            job = RunJob(book, out, false);
            Settle(out);
            cp = RunCpSync(book, out);
            Settle(out);
        }
        cpSyncTimes.push_back(cp);
        jobTimes.push_back(job);
        jobRatios.push_back(job / cp);
        std::printf("%5d %16.3f %18.3f %8.3f\n", r + 1, cp, job, job / cp);
    }

    std::vector<double> verifyRatios, verifyTimes, diffTimes, readBackShares;
    const double bookBytes = static_cast<double>(kFilesPerKind) * (kAudioSize + kTextSize);
    std::printf("\n%5s %28s %20s %8s %16s\n", "round", "cp -r+sync+drop+diff -r (s)", "verified job (s)", "ratio",
                "read from drive");
    for (int r = 0; r < rounds; ++r) {
        double byHand = 0, job = 0, share = 0;
        auto verified = [&] {
            const std::uint64_t before = ReadBytes();
            job = RunJob(book, out, true);
            share = static_cast<double>(ReadBytes() - before) / bookBytes;
            Settle(out);
        };
        if (r % 2 == 0) {
            byHand = RunCpSyncDiff(book, out);
            Settle(out);
            verified();
        } else {
            verified();
            byHand = RunCpSyncDiff(book, out);
            Settle(out);
        }
        diffTimes.push_back(byHand);
        verifyTimes.push_back(job);
        verifyRatios.push_back(job / byHand);
        readBackShares.push_back(share);
        std::printf("%5d %28.3f %20.3f %8.3f %15.2fx\n", r + 1, byHand, job, job / byHand, share);
    }

    std::vector<double> cancels;
    for (int r = 0; r < 3; ++r) {
        cancels.push_back(CancelLatency(book, out));
        Settle(out);
    }

    std::printf("\nmedian cp -r           %.3f s\n", Median(cpTimes));
    std::printf("median engine          %.3f s (flush before success: median %.3f s more)\n", Median(engineTimes),
                Median(flushTimes));
    // The engine hands each file to the drive as soon as it is written, so
    // part of its flush falls before this mark; the goal is on the whole
    // copy, flush included, below.
    std::printf("median ratio engine/cp %.3f (writing back during the copy; compare the whole job below)\n",
                Median(ratios));
    std::printf("median processor-time ratio engine/cp %.3f (less disturbed by other load)\n", Median(cpuRatios));
    std::printf("median cp -r + sync %.3f s, job with VerifyCopy=0 %.3f s, ratio %.3f (goal <= 1.05)\n",
                Median(cpSyncTimes), Median(jobTimes), Median(jobRatios));
    std::printf("median cp -r + sync + drop + diff -r %.3f s, verified job %.3f s, ratio %.3f (goal <= 0.9)\n",
                Median(diffTimes), Median(verifyTimes), Median(verifyRatios));
    std::printf("read back from the drive: median %.2f times the book's size (read_bytes in /proc/self/io; goal >= 1)\n",
                Median(readBackShares));
    std::printf("peak memory, this process (engine)  %.1f MB (goal < 64 MB)\n", PeakKb(RUSAGE_SELF) / 1024.0);
    std::printf("peak memory, cp                     %.1f MB\n", PeakKb(RUSAGE_CHILDREN) / 1024.0);
    std::printf("cancel latency: max %.1f ms, median %.1f ms (goal < 1000 ms)\n",
                *std::max_element(cancels.begin(), cancels.end()) * 1000, Median(cancels) * 1000);

    std::error_code ec;
    fs::remove_all(work, ec);
    if (!bookWork.empty())
        fs::remove_all(bookWork, ec);
    return 0;
}
